# cmake -DNM=<nm> -DMODULES="<file>;<file>..." -P check_exports.cmake
# Every module exports exactly mexFunction and emlrtMexFcnProperties: no
# symbol of its own copy of the gateway or of its core leaks out, so modules
# loaded side by side never bind to one another.
foreach(module ${MODULES})
  execute_process(COMMAND ${NM} -D --defined-only ${module} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot list the symbols of ${module}")
  endif()
  string(REGEX MATCHALL "[ \t][A-Za-z][ \t]+[^ \t\n]+" entries "${listing}")
  set(names)
  foreach(entry ${entries})
    string(REGEX REPLACE "^[ \t][A-Za-z][ \t]+" "" name "${entry}")
    list(APPEND names ${name})
  endforeach()
  list(SORT names)
  if(NOT names STREQUAL "emlrtMexFcnProperties;mexFunction")
    message(FATAL_ERROR "${module} exports: ${names}")
  endif()
endforeach()
message(STATUS "${MODULES}: only mexFunction and emlrtMexFcnProperties")
