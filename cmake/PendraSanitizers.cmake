# Sanitizer and fuzzing builds (native only). Every object, the module
# included, is built with AddressSanitizer and UndefinedBehaviorSanitizer, and
# any finding stops the program, so that a test run fails on it. A fuzzing
# build also instruments everything for libFuzzer's coverage; only the fuzz
# targets link libFuzzer itself.

if(PENDRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PENDRA_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  set(PENDRA_SANITIZE ON)
endif()

if(PENDRA_SANITIZE)
  if(WIN32)
    message(FATAL_ERROR "The sanitizer builds are native only")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PENDRA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# clang leaves the sanitizer runtimes out of shared libraries (the program
# brings them), so the module cannot be linked with --no-undefined there.
if(PENDRA_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(PENDRA_MODULE_NO_UNDEFINED OFF)
else()
  set(PENDRA_MODULE_NO_UNDEFINED ON)
endif()
