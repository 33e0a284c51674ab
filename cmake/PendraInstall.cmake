# Installation and packages.
#
# Linux: the programs look for plugins/ beside their own file, as the video
# host does, so the command and the module live together in lib/pendra/ and
# bin/pendra is a link to the command there (the kernel gives the program its
# real file name, so the link finds the module). The .deb names the FFmpeg
# libraries the command links, as dpkg-shlibdeps finds them.
#
# Windows: what a VirtualDub user copies into VirtualDub's folder, plugins/
# with the module, its help page and defaults file, and a short README; the
# ZIP holds exactly that.

set(pendra_plugin_docs ${PROJECT_SOURCE_DIR}/docs/Pendra.html ${PROJECT_SOURCE_DIR}/docs/Pendra.ini)

if(WIN32)
  install(TARGETS pendra_module RUNTIME DESTINATION plugins LIBRARY DESTINATION plugins)
  install(FILES ${pendra_plugin_docs} DESTINATION plugins/pendra)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-VirtualDub.txt.in
                 ${CMAKE_BINARY_DIR}/install/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/install/README.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_FILE_NAME "Pendra-${PROJECT_VERSION}-VirtualDub-win32")
else()
  set(pendra_private_dir lib/pendra)
  install(TARGETS pendra RUNTIME DESTINATION ${pendra_private_dir})
  install(TARGETS pendra_module LIBRARY DESTINATION ${pendra_private_dir}/plugins)
  install(FILES ${pendra_plugin_docs} DESTINATION ${pendra_private_dir}/plugins/pendra)
  set(link ${CMAKE_BINARY_DIR}/install/pendra)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
  file(CREATE_LINK ../${pendra_private_dir}/pendra ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION bin) # installed as the link it is
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/pendra)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ondrel")
endif()

set(CPACK_PACKAGE_NAME pendra)
set(CPACK_PACKAGE_VENDOR "Ondrel")
set(CPACK_PACKAGE_CONTACT "Ondrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "takes semi-transparent TV logos out of video")
set(CPACK_PACKAGE_DESCRIPTION "Pendra un-blends a semi-transparent logo from every frame of a range \
and rebuilds what it cannot un-blend from the clean pixels around it. The pendra command runs the \
filter module on video files through FFmpeg's libraries.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
