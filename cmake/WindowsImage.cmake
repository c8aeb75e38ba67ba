# How every Windows executable of this project is compiled and linked: small,
# statically linked against the compiler's run time (so it imports system DLLs
# only), hardened, reproducible, and held to the Windows XP API.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
add_compile_options(-fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
                    -ffunction-sections -fdata-sections)
add_link_options(-static -s -Wl,--gc-sections
                 # no link time in the header: the same sources give the same bytes
                 -Wl,--no-insert-timestamp
                 -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware
                 # DWARF unwinding: no image registers a structured exception handler
                 -Wl,--no-seh)
