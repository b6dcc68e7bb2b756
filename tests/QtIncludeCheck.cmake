# Fails when a Qt header is included outside the user interface: everything but ui/ and the gui/
# folders must build on a machine without Qt, and the command-line tool links no Qt.
file(GLOB_RECURSE sources RELATIVE "${ROOT}"
  "${ROOT}/core/*" "${ROOT}/platform/*" "${ROOT}/analysis/*" "${ROOT}/retrieval/*"
  "${ROOT}/sitemap/*" "${ROOT}/find/*" "${ROOT}/cli/*")
set(offenders "")
foreach(source IN LISTS sources)
  if(source MATCHES "/gui/" OR NOT source MATCHES "\\.(h|hpp|cpp|cc)$")
    continue()
  endif()
  file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]+|Qt[A-Za-z]+/)")
  if(lines)
    list(APPEND offenders "${source}")
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Qt headers outside the user interface: ${offenders}")
endif()
message(STATUS "No Qt header outside ui/ and gui/ folders")
