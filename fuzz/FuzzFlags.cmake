# Fuzzing build: every library is instrumented for libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz executables themselves link libFuzzer (fuzz/CMakeLists.txt).
# Include this from the top-level CMakeLists.txt before the libraries are added.
option(TARVIK11_FUZZ "Build the libFuzzer executables (clang only)" OFF)
if(TARVIK11_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TARVIK11_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
