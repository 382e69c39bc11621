# Reads the program's version from src/app/version.h, the one place it is written, into
# CORVEL_VERSION ("major.minor.patch.build") and CORVEL_VERSION_MAJOR .. _BUILD. The build
# generates the manifest and the tests' expectations from it; CMake configures again when the
# header changes.
set(_corvel_version_header ${CMAKE_CURRENT_LIST_DIR}/../src/app/version.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_corvel_version_header})
file(STRINGS ${_corvel_version_header} _corvel_version_lines
     REGEX "^#define CORVEL_VERSION_(MAJOR|MINOR|PATCH|BUILD) +[0-9]+ *$")
foreach(_part MAJOR MINOR PATCH BUILD)
  set(CORVEL_VERSION_${_part} "")
  foreach(_line IN LISTS _corvel_version_lines)
    if(_line MATCHES "^#define CORVEL_VERSION_${_part} +([0-9]+)")
      set(CORVEL_VERSION_${_part} ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(CORVEL_VERSION_${_part} STREQUAL "")
    message(FATAL_ERROR "${_corvel_version_header} defines no CORVEL_VERSION_${_part}")
  endif()
endforeach()
set(CORVEL_VERSION
    ${CORVEL_VERSION_MAJOR}.${CORVEL_VERSION_MINOR}.${CORVEL_VERSION_PATCH}.${CORVEL_VERSION_BUILD})
