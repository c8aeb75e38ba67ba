"""The deliverables' headers, imports and resources, read back with pefile
rather than trusted from the build files."""
import struct

import pefile
import pytest

DELIVERABLES = ["QB507_KPL553.exe", "QB507_HM682.exe"]
SIZE_BUDGET = 24 * 1024
LANGUAGE = 0x041F  # LANG_TURKISH, SUBLANG_DEFAULT

# Everything the images may import. Each of these exists on Windows XP, the
# oldest system the launcher supports; a call outside this list fails here
# until someone has checked where it exists and added it.
ALLOWED_IMPORTS = {
    "KERNEL32.dll": {
        "CloseHandle", "CreateFileA", "DeleteCriticalSection", "EnterCriticalSection",
        "FreeLibrary", "GetLastError", "GetModuleHandleA", "GetProcAddress", "GetStartupInfoA",
        "GetTempPathA", "InitializeCriticalSection", "LeaveCriticalSection", "LoadLibraryA",
        "SetUnhandledExceptionFilter", "Sleep", "TlsGetValue", "VirtualProtect", "VirtualQuery",
        "WriteFile",
    },
    "msvcrt.dll": {
        "__getmainargs", "__initenv", "__p__acmdln", "__p__commode", "__p__fmode",
        "__set_app_type", "__setusermatherr", "_amsg_exit", "_cexit", "_initterm", "_iob",
        "_onexit", "abort", "calloc", "exit", "fprintf", "free", "fwrite", "malloc", "memcpy",
        "signal", "strlen", "strncmp", "vfprintf",
    },
    "SHELL32.dll": {"ShellExecuteA"},
}
# The launcher's own calls, in their ANSI spelling.
REQUIRED_IMPORTS = {"CloseHandle", "CreateFileA", "GetTempPathA", "WriteFile", "ShellExecuteA",
                    "GetModuleHandleA", "GetProcAddress"}

EXPECTED_STRINGS = [
    ("CompanyName", ""), ("FileDescription", ""), ("FileVersion", "1.0.0.0"),
    ("InternalName", ""), ("LegalCopyright", ""), ("LegalTrademarks", ""),
    ("OriginalFilename", ""), ("ProductName", ""), ("ProductVersion", "1.0.0.0"),
]


@pytest.fixture(scope="module", params=DELIVERABLES)
def image(request, dist_dir):
    path = dist_dir / request.param
    pe = pefile.PE(str(path))
    yield path, pe
    pe.close()


def resources(pe):
    """(type, name, language, bytes) of every resource, in directory order."""
    found = []
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append((kind.id if kind.name is None else str(kind.name),
                              name.id if name.name is None else str(name.name),
                              language.data.lang | language.data.sublang << 10,
                              pe.get_data(data.OffsetToData, data.Size)))
    return found


def test_is_a_small_32_bit_console_program(image):
    path, pe = image
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
    assert pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE
    assert pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]
    assert pe.FILE_HEADER.TimeDateStamp == 0, "a link time makes builds differ"
    assert path.stat().st_size <= SIZE_BUDGET, f"{path.stat().st_size} bytes"


def test_is_hardened(image):
    _, pe = image
    header = pe.OPTIONAL_HEADER
    for flag in ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT",
                 "IMAGE_DLLCHARACTERISTICS_NO_SEH",
                 "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"):
        assert header.DllCharacteristics & pefile.DLL_CHARACTERISTICS[flag], flag
    # A movable image needs its relocations.
    assert not pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED
    relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    assert relocations.Size > 0


def test_imports_only_known_system_functions(image):
    _, pe = image
    imported = {entry.dll.decode(): {i.name.decode() for i in entry.imports}
                for entry in pe.DIRECTORY_ENTRY_IMPORT}
    assert set(imported) == set(ALLOWED_IMPORTS)
    for dll, functions in imported.items():
        assert functions <= ALLOWED_IMPORTS[dll], f"{dll}: {sorted(functions - ALLOWED_IMPORTS[dll])}"
    assert REQUIRED_IMPORTS <= set().union(*imported.values())


def test_every_resource_is_in_the_one_language(image):
    _, pe = image
    assert [(kind, name, hex(language)) for kind, name, language, _ in resources(pe)] == [
        (pefile.RESOURCE_TYPE["RT_ICON"], 1, hex(LANGUAGE)),
        (pefile.RESOURCE_TYPE["RT_GROUP_ICON"], "MAINICON", hex(LANGUAGE)),
        (pefile.RESOURCE_TYPE["RT_VERSION"], 1, hex(LANGUAGE)),
    ]


def test_icon_group_holds_one_32x32_16_colour_image(image):
    _, pe = image
    by_kind = {kind: data for kind, _, _, data in resources(pe)}
    group = by_kind[pefile.RESOURCE_TYPE["RT_GROUP_ICON"]]
    reserved, kind, count = struct.unpack_from("<HHH", group)
    assert (reserved, kind, count) == (0, 1, 1)
    width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    assert (width, height, colours, planes, bits, icon_id) == (32, 32, 16, 1, 4, 1)

    icon = by_kind[pefile.RESOURCE_TYPE["RT_ICON"]]
    assert size == len(icon)
    header_size, bitmap_width, bitmap_height, _, bitmap_bits = struct.unpack_from("<IiiHH", icon)
    # The bitmap is twice as tall: the colour image, then its transparency mask.
    assert (header_size, bitmap_width, bitmap_height, bitmap_bits) == (40, 32, 64, 4)


def test_version_resource(image):
    _, pe = image
    fixed = pe.VS_FIXEDFILEINFO[0]
    assert (fixed.FileVersionMS, fixed.FileVersionLS) == (0x00030001, 0)  # 3.1.0.0
    assert (fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x00030001, 0)
    assert (fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType,
            fixed.FileSubtype, fixed.FileDateMS, fixed.FileDateLS) == (0x3F, 0, 4, 1, 0, 0, 0)

    blocks = {block.Key.decode(): block for block in pe.FileInfo[0]}
    assert sorted(blocks) == ["StringFileInfo", "VarFileInfo"]
    tables = blocks["StringFileInfo"].StringTable
    assert [table.LangID.decode() for table in tables] == ["041F04E6"]
    assert [(k.decode(), v.decode()) for k, v in tables[0].entries.items()] == EXPECTED_STRINGS
    assert [var.entry for var in blocks["VarFileInfo"].Var] == [{b"Translation": "0x041f 0x04e6"}]


def test_all_deliverables_carry_the_same_resources(dist_dir):
    images = [pefile.PE(str(dist_dir / name)) for name in DELIVERABLES]
    first, *others = [resources(pe) for pe in images]
    for name, other in zip(DELIVERABLES[1:], others):
        assert other == first, f"{name} differs from {DELIVERABLES[0]}"
