# Checks a Windows binary of the build with objdump:
#   -DOBJDUMP=... -DBINARY=... [-DHEADER=quorelctl.h]
# It must import none of the compiler's runtime DLLs (they are linked in, so
# the binary runs on a bare Windows), and, given the header, export exactly
# the C calls the header declares.
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump could not read ${BINARY}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
message(STATUS "${BINARY}: ${imports}")
foreach(runtime libstdc\\+\\+ libgcc_s libwinpthread)
  if(imports MATCHES "${runtime}")
    message(FATAL_ERROR "${BINARY} needs the runtime DLL ${runtime}: ${imports}")
  endif()
endforeach()

if(DEFINED HEADER)
  # "QUORELCTL_API int quorel_set_text(", "QUORELCTL_API const char *quorel_error_description(".
  file(READ ${HEADER} header)
  string(REGEX MATCHALL "QUORELCTL_API [^;#()]*[ *]quorel_[a-z0-9_]+\\(" declarations "${header}")
  list(TRANSFORM declarations REPLACE ".*[ *](quorel_[a-z0-9_]+)\\($" "\\1")
  # The name pointer table of the export directory: "[   0] quorel_create".
  # Brackets would split CMake lists wrongly: they go first.
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([\t ]*\\[[ 0-9]+\\] [^\n]+\n)*" table "${dump}")
  string(REGEX REPLACE "[][]" " " table "${table}")
  string(REGEX MATCHALL "[0-9] +[^ \n]+\n" exported "${table}")
  list(TRANSFORM exported REPLACE "^[0-9] +([^ \n]+)\n$" "\\1")
  list(SORT declarations)
  list(SORT exported)
  if(NOT declarations OR NOT exported STREQUAL declarations)
    message(FATAL_ERROR "exported: ${exported}\ndeclared: ${declarations}")
  endif()
  list(LENGTH exported count)
  message(STATUS "exports exactly the ${count} calls of the header: ${exported}")
endif()
