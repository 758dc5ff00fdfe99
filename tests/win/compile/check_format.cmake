# CString::Format is checked like printf: the misuse must be refused with a
# format diagnostic, and the correct call must compile (so that a refusal for
# any other reason does not count as a pass).
# Arguments: -DCXX=compiler -DSRC=source file -DROOT=repository root
foreach(mode ok misuse)
  set(defs "")
  if(mode STREQUAL "misuse")
    set(defs -DFORMAT_MISUSE)
  endif()
  execute_process(
    COMMAND ${CXX} -std=c++17 -fsyntax-only -Wall -Werror=format -I${ROOT} ${defs} ${SRC}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(mode STREQUAL "ok" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "the correct call does not compile:\n${out}")
  endif()
  if(mode STREQUAL "misuse")
    if(rc EQUAL 0)
      message(FATAL_ERROR "a CString passed for %s compiles: Format has no format attribute")
    endif()
    if(NOT out MATCHES "Werror=format")
      message(FATAL_ERROR "refused, but not for its format:\n${out}")
    endif()
  endif()
endforeach()
