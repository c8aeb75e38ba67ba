# Places the deliverables in DIST_DIR under their shipping names, signed when
# CODESIGN_PKCS12 is given, and lists their checksums in DIST_DIR/SHA256SUMS.
# Model names may hold characters that build rules cannot, so one script does
# the placing from a manifest rather than a rule per file.
set(CODESIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign the deliverables with; its password comes from CODESIGN_PASSWORD at build time")
set(CODESIGN_TIMESTAMP_URL "" CACHE STRING "Timestamp server for signing (optional)")

if(CODESIGN_PKCS12)
  if(NOT EXISTS "${CODESIGN_PKCS12}")
    message(FATAL_ERROR "CODESIGN_PKCS12: there is no file \"${CODESIGN_PKCS12}\".")
  endif()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()

set(shipping_manifest "pkcs12=${CODESIGN_PKCS12}\ntimestamp_url=${CODESIGN_TIMESTAMP_URL}\n")
set(shipped_targets "")

function(ship_deliverable target file_name)
  string(APPEND shipping_manifest "deliverable=$<TARGET_FILE:${target}>\t${file_name}\n")
  set(shipping_manifest "${shipping_manifest}" PARENT_SCOPE)
  set(shipped_targets ${shipped_targets} ${target} PARENT_SCOPE)
endfunction()

function(add_dist_target)
  set(manifest "${CMAKE_BINARY_DIR}/shipping-manifest.txt")
  file(GENERATE OUTPUT "${manifest}" CONTENT "${shipping_manifest}")
  add_custom_target(dist ALL
    COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/ship-deliverables.sh" "${manifest}" "${DIST_DIR}"
    DEPENDS ${shipped_targets}
    COMMENT "Placing the deliverables in ${DIST_DIR}"
    VERBATIM)
endfunction()
