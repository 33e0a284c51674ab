# Test programs. Each lives in a folder of its own with a private copy of the
# module in plugins/, so that every test binary has its own host folder and
# defaults file, and binaries may run in parallel. Each binary is one test;
# under Wine that is one Wine start per binary.

# Natively Debian's prebuilt GoogleTest; for mingw there is none, so it is
# built from Debian's sources, without our warnings: it is not our code.
if(WIN32)
  set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  get_directory_property(pendra_options COMPILE_OPTIONS)
  set(gtest_options ${pendra_options})
  list(REMOVE_ITEM gtest_options ${PENDRA_WARNING_OPTIONS})
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${gtest_options}")
  set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(CMAKE_COMPILE_WARNING_AS_ERROR ${PENDRA_WERROR})
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${pendra_options}")
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

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
  if(WIN32)
    # One Wine start per program: the program is one test.
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${dir})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 ENVIRONMENT "${PENDRA_TEST_ENV}"
                                            FIXTURES_REQUIRED wine)
  else()
    # One test per case, so that a failure names its case. The cases of one
    # program share its folder, so they take turns; programs run in parallel.
    gtest_discover_tests(${name} WORKING_DIRECTORY ${dir} TEST_PREFIX "${name}."
                         DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT 600 RESOURCE_LOCK ${name})
  endif()
endfunction()

# A test that runs the pendra command: a copy of it beside the test program,
# refreshed whenever it is rebuilt, so a rebuild during a run cannot change it.
function(pendra_add_command_test name)
  pendra_add_test(${name} ${ARGN})
  set(copy ${CMAKE_BINARY_DIR}/tests/${name}/pendra)
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:pendra> ${copy}
                     DEPENDS pendra)
  add_custom_target(${name}_command DEPENDS ${copy})
  add_dependencies(${name} ${name}_command)
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
