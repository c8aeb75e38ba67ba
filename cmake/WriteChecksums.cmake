# cmake -DDIST_DIR=... -DMANIFEST=... -P WriteChecksums.cmake
# Writes DIST_DIR/SHA256SUMS for the files named in MANIFEST, one a line, and
# removes deliverables of models no longer built, so that dist/ holds exactly
# what SHA256SUMS lists.
cmake_minimum_required(VERSION 3.25)

file(STRINGS "${MANIFEST}" file_names)

file(GLOB built_before RELATIVE "${DIST_DIR}" "${DIST_DIR}/QB507_*.exe")
foreach(file_name IN LISTS built_before)
  if(NOT file_name IN_LIST file_names)
    file(REMOVE "${DIST_DIR}/${file_name}")
  endif()
endforeach()

set(sums "")
foreach(file_name IN LISTS file_names)
  file(SHA256 "${DIST_DIR}/${file_name}" hash)
  string(APPEND sums "${hash}  ${file_name}\n")
endforeach()
file(WRITE "${DIST_DIR}/SHA256SUMS.partial" "${sums}")
file(RENAME "${DIST_DIR}/SHA256SUMS.partial" "${DIST_DIR}/SHA256SUMS")
