# The filter module: Pendra04.vdf in bin/plugins/, built from one object
# library that the tests also link for white-box checks.

file(GLOB PENDRA_MODULE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/module/*.cpp
  ${PROJECT_SOURCE_DIR}/defaults/*.cpp
  ${PROJECT_SOURCE_DIR}/logo/*.cpp
  ${PROJECT_SOURCE_DIR}/process/*.cpp)
# The dialog exists on Windows only; elsewhere the config callback reports
# that it could not open, and platform/ supplies the Windows kernel calls.
if(WIN32)
  file(GLOB dialog_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/dialog/*_win32.cpp)
  if(NOT dialog_sources)
    set(dialog_sources ${PROJECT_SOURCE_DIR}/dialog/config_callback_none.cpp)
  endif()
  list(APPEND PENDRA_MODULE_SOURCES ${dialog_sources})
else()
  list(APPEND PENDRA_MODULE_SOURCES ${PROJECT_SOURCE_DIR}/dialog/config_callback_none.cpp
                                    ${PROJECT_SOURCE_DIR}/platform/windows_calls_posix.cpp)
endif()

add_library(pendra_core OBJECT ${PENDRA_MODULE_SOURCES})
target_include_directories(pendra_core PUBLIC ${PROJECT_SOURCE_DIR})
set_target_properties(pendra_core PROPERTIES POSITION_INDEPENDENT_CODE ON
                                             CXX_VISIBILITY_PRESET hidden)
# Doubles must round the same in both builds: no fused multiply-add.
target_compile_options(pendra_core PRIVATE -ffp-contract=off)

add_library(pendra_module SHARED $<TARGET_OBJECTS:pendra_core>)
if(WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/dialog/pendra.rc)
  # The dialog's resource script goes into the module, where the dialog
  # procedure finds it through the module's instance handle.
  enable_language(RC)
  target_sources(pendra_module PRIVATE ${PROJECT_SOURCE_DIR}/dialog/pendra.rc)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/dialog/pendra.rc PROPERTIES
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/dialog)
  # System DLLs only: the dialog, its trackbars, the file dialog and the shell.
  target_link_libraries(pendra_core PUBLIC user32 gdi32 comctl32 comdlg32 shell32)
  target_link_libraries(pendra_module PRIVATE user32 gdi32 comctl32 comdlg32 shell32)
endif()
set_target_properties(pendra_module PROPERTIES
  OUTPUT_NAME Pendra04
  PREFIX ""
  SUFFIX ".vdf"
  RUNTIME_OUTPUT_DIRECTORY ${PENDRA_PLUGINS_DIR}
  LIBRARY_OUTPUT_DIRECTORY ${PENDRA_PLUGINS_DIR})
if(WIN32)
  # No import library: nothing links against the module.
  set_target_properties(pendra_module PROPERTIES IMPORT_PREFIX "" IMPORT_SUFFIX ".vdf.a")
elseif(PENDRA_MODULE_NO_UNDEFINED)
  target_link_options(pendra_module PRIVATE -Wl,--no-undefined)
endif()

# The help page and the sample defaults file live beside the module, in
# plugins/pendra/, where the dialog's Help and the init callback look.
set(pendra_docs ${PROJECT_SOURCE_DIR}/docs/Pendra.html ${PROJECT_SOURCE_DIR}/docs/Pendra.ini)
set(pendra_docs_dir ${PENDRA_PLUGINS_DIR}/pendra)
add_custom_command(
  OUTPUT ${pendra_docs_dir}/Pendra.html ${pendra_docs_dir}/Pendra.ini
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pendra_docs_dir}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${pendra_docs} ${pendra_docs_dir}/
  DEPENDS ${pendra_docs})
add_custom_target(pendra_docs ALL DEPENDS ${pendra_docs_dir}/Pendra.html
                                          ${pendra_docs_dir}/Pendra.ini)
