# Places the deliverables in DIST_DIR, signed when CODESIGN_PKCS12 is given,
# and lists their checksums in DIST_DIR/SHA256SUMS.
set(CODESIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign the deliverables with; its password comes from CODESIGN_PASSWORD at build time")
set(CODESIGN_TIMESTAMP_URL "" CACHE STRING "Timestamp server for signing (optional)")

if(CODESIGN_PKCS12)
  if(NOT EXISTS "${CODESIGN_PKCS12}")
    message(FATAL_ERROR "CODESIGN_PKCS12: no file \"${CODESIGN_PKCS12}\".")
  endif()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()

set(SHIP_SCRIPT "${PROJECT_SOURCE_DIR}/scripts/ship-deliverable.sh")
set(dist_files "")

function(ship_deliverable target file_name)
  set(destination "${DIST_DIR}/${file_name}")
  add_custom_command(OUTPUT "${destination}"
    COMMAND ${CMAKE_COMMAND} -E env
            "CODESIGN_PKCS12=${CODESIGN_PKCS12}" "CODESIGN_TIMESTAMP_URL=${CODESIGN_TIMESTAMP_URL}"
            bash ${SHIP_SCRIPT} "$<TARGET_FILE:${target}>" "${destination}"
    DEPENDS ${target} ${SHIP_SCRIPT}
    COMMENT "Placing ${file_name} in ${DIST_DIR}"
    VERBATIM)
  set(dist_files ${dist_files} "${destination}" PARENT_SCOPE)
endfunction()

# SHA256SUMS lists exactly the given deliverables, in `sha256sum -c` form.
function(write_checksums file_names)
  set(manifest "${CMAKE_BINARY_DIR}/deliverables.txt")
  list(JOIN file_names "\n" lines)
  file(CONFIGURE OUTPUT "${manifest}" CONTENT "${lines}\n" @ONLY)
  add_custom_command(OUTPUT "${DIST_DIR}/SHA256SUMS"
    COMMAND ${CMAKE_COMMAND} "-DDIST_DIR=${DIST_DIR}" "-DMANIFEST=${manifest}"
            -P "${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake"
    DEPENDS ${dist_files} "${manifest}" "${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake"
    COMMENT "Writing ${DIST_DIR}/SHA256SUMS"
    VERBATIM)
  add_custom_target(dist ALL DEPENDS ${dist_files} "${DIST_DIR}/SHA256SUMS")
endfunction()
