# Fails the build unless FILE is exactly SIZE bytes long.
#   cmake -DFILE=ambrel.boo -DSIZE=257 -P CheckSize.cmake
file(SIZE "${FILE}" size)
if(NOT size EQUAL SIZE)
  message(FATAL_ERROR "${FILE} is ${size} bytes, expected ${SIZE}")
endif()
