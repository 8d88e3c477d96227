# Checks that the shared library reads the environment only with
# secure_getenv, which a privileged (setuid, setgid, file-capability) process
# answers with nothing: -DNM=... -DBINARY=...
execute_process(COMMAND ${NM} -D --undefined-only ${BINARY} OUTPUT_VARIABLE imports RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm could not read ${BINARY}")
endif()
if(imports MATCHES "[ \n]getenv(@|\n)")
  message(FATAL_ERROR "${BINARY} calls getenv, which a privileged host's caller controls")
endif()
if(NOT imports MATCHES "[ \n]secure_getenv(@|\n)")
  message(FATAL_ERROR "${BINARY} does not read its test-tree variables with secure_getenv")
endif()
