# Copies an S-record file without its S0 header records: the debugger accepts S1 and S9 only.
#   cmake -DIN=raw.s19 -DOUT=prog.s19 -P StripS0.cmake
file(STRINGS "${IN}" records)
set(out "")
foreach(record IN LISTS records)
  string(STRIP "${record}" record)
  if(record MATCHES "^S[19]")
    string(APPEND out "${record}\n")
  elseif(NOT record STREQUAL "" AND NOT record MATCHES "^S0")
    message(FATAL_ERROR "StripS0.cmake: unexpected record in ${IN}: ${record}")
  endif()
endforeach()
file(WRITE "${OUT}" "${out}")
