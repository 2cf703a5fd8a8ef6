# Turns the binary file IN into a C++ header OUT defining the byte array NAME.
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT} "#pragma once\n#include <cstdint>\ninline constexpr uint8_t ${NAME}[] = {${bytes}};\n")
