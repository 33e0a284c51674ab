# Test programs. Each lives in a folder of its own with a private copy of the
# module in plugins/, so that every test binary has its own host folder and
# defaults file, and binaries may run in parallel. Each binary is one test;
# under Wine that is one Wine start per binary.

set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(WIN32)
  set(PENDRA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(PENDRA_TEST_ENV "WINEPREFIX=${PENDRA_WINEPREFIX}" "WINEDEBUG=-all"
                      "WINEDLLOVERRIDES=mscoree,mshtml=")
  # One Wine prefix, made once before any test starts.
  add_test(NAME wine_prefix COMMAND wineboot --init)
  set_tests_properties(wine_prefix PROPERTIES ENVIRONMENT "${PENDRA_TEST_ENV}"
                                              FIXTURES_SETUP wine TIMEOUT 300)
endif()

# Puts the program in its own folder, with its private module copy.
function(pendra_private_folder name)
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  # The copy depends on the module file itself, so a rebuilt module reaches
  # every test folder even when the test program needs no relinking.
  set(copy ${dir}/plugins/Pendra04.vdf)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/plugins
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:pendra_module> ${dir}/plugins/
    DEPENDS pendra_module)
  add_custom_target(${name}_module DEPENDS ${copy})
  add_dependencies(${name} ${name}_module)
endfunction()

# The test binary in its own folder, with its private module copy.
function(pendra_test_binary name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE pendra_test_support GTest::gtest_main)
  pendra_private_folder(${name})
endfunction()

function(pendra_add_test name)
  pendra_test_binary(${name} ${ARGN})
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${dir})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${PENDRA_TEST_ENV}"
                                            FIXTURES_REQUIRED wine)
  endif()
endfunction()

# A Windows test that opens windows: run under Wine on a virtual X display
# (Xvfb), alone, since Wine's desktop is shared by every program of a prefix.
function(pendra_add_gui_test name)
  pendra_test_binary(${name} ${ARGN})
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/run_under_xvfb.sh $<TARGET_FILE:${name}>
           WORKING_DIRECTORY ${dir})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE
                                          ENVIRONMENT "${PENDRA_TEST_ENV}"
                                          FIXTURES_REQUIRED wine)
endfunction()
