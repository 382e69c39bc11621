# Writes the names of the host's entry points, every name a host source passes to HOST_ENTER or
# CallFails, as C++ string literals one a line, so fault injection can refuse a name it does not
# know. Run as: cmake -DSOURCE_DIR=<host/src> -DOUTPUT=<file> [-DIMPORTS=<imports.txt>
# -DALLOWED=<conformance_only.txt>] -P entry_points.cmake
#
# With IMPORTS and ALLOWED it also fails when the host defines an entry point (a WINAPI function
# or a HOST_ENTER name) that neither program uses nor the conformance cases need for their set-up:
# the host stays bounded by what the programs import.
cmake_policy(SET CMP0057 NEW)  # IN_LIST
file(GLOB sources ${SOURCE_DIR}/*.cpp)
set(names "")
foreach(source IN LISTS sources)
  file(READ ${source} text)
  string(REGEX MATCHALL "(HOST_ENTER|CallFails)\\(\"[A-Za-z0-9_]+\"" calls "${text}")
  foreach(call IN LISTS calls)
    string(REGEX REPLACE "^[^\"]*\"([A-Za-z0-9_]+)\"$" "\\1" name "${call}")
    list(APPEND names ${name})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)

if(IMPORTS AND ALLOWED)
  set(defined ${names})
  foreach(source IN LISTS sources)
    file(READ ${source} text)
    string(REGEX MATCHALL "\n[A-Za-z_][A-Za-z0-9_ *]* WINAPI \\*?[A-Za-z_][A-Za-z0-9_]*\\(" definitions "${text}")
    foreach(definition IN LISTS definitions)
      string(REGEX REPLACE ".* WINAPI \\*?([A-Za-z_][A-Za-z0-9_]*)\\($" "\\1" name "${definition}")
      list(APPEND defined ${name})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES defined)
  list(SORT defined)
  file(STRINGS ${IMPORTS} imported)
  list(TRANSFORM imported REPLACE "^.*!" "")
  file(STRINGS ${ALLOWED} allowed REGEX "^[A-Za-z_]")
  list(TRANSFORM allowed REPLACE "[ #].*$" "")
  set(outside "")
  foreach(name IN LISTS defined)
    # Entry points looked up at run time are defined as Host<Name> and handed out by GetProcAddress.
    string(REGEX REPLACE "^Host" "" bare "${name}")
    if(NOT name IN_LIST imported AND NOT name IN_LIST allowed AND NOT bare IN_LIST imported)
      list(APPEND outside ${name})
    endif()
  endforeach()
  if(outside)
    list(JOIN outside " " outside)
    message(FATAL_ERROR "The host defines entry points that neither program imports (${IMPORTS}) "
                        "and that are not listed as conformance set-up (${ALLOWED}): ${outside}")
  endif()
endif()
set(content "")
foreach(name IN LISTS names)
  string(APPEND content "\"${name}\",\n")
endforeach()
# Rewritten only when the list changed, so an edit elsewhere in the host rebuilds nothing more.
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL content)
  file(WRITE ${OUTPUT} "${content}")
endif()
