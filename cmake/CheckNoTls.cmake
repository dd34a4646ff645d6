# Fails when a program or library that a local session starts with needs libssl or libcrypto itself: the
# host link opens them only at the first TLS connection.
# Usage: cmake "-DBINARIES=<file>|<file>..." -P CheckNoTls.cmake
string(REPLACE "|" ";" binaries "${BINARIES}")
set(bad "")
foreach(bin IN LISTS binaries)
  execute_process(COMMAND readelf -d "${bin}" OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${bin}")
  endif()
  string(REGEX MATCHALL "\\[lib(ssl|crypto)[^]]*\\]" needs "${dyn}")
  if(needs)
    list(APPEND bad "${bin} needs ${needs}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "A local session's start would load TLS:\n${bad}")
endif()
message(STATUS "${binaries}: no TLS library needed")
