# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it:
#   bin/                          vellumtrace, vellumtrace-tool
#   lib/vellumtrace/              vellumtrace-display-sdl.so (--display sdl)
#   share/man/man1/               vellumtrace.1, vellumtrace-tool.1
#   lib/systemd/system/           vellumtrace.service
#   share/doc/vellumtrace/        README.md, LICENSE, examples/60-vellumtrace.rules,
#                                 examples/vellumtrace-gpsd.conf
include(GNUInstallDirs)

set(vt_packaging ${CMAKE_SOURCE_DIR}/packaging)
set(vt_docdir ${CMAKE_INSTALL_DATADIR}/doc/vellumtrace)

install(TARGETS vellumtrace vellumtrace-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Beside bin/, where the program looks for it.
install(TARGETS vellumtrace-display-sdl LIBRARY DESTINATION lib/vellumtrace)

foreach(page vellumtrace.1 vellumtrace-tool.1)
  set(VT_VERSION ${PROJECT_VERSION})
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The unit names the program where this install puts it, which is only known
# at install time (cmake --install --prefix, or the package's /usr). Each
# prefix gets its own copy, so two installs at once cannot swap units.
install(CODE "
  set(VT_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  string(MD5 vt_prefix_key \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(vt_unit \"${CMAKE_BINARY_DIR}/packaging/\${vt_prefix_key}/vellumtrace.service\")
  configure_file(\"${vt_packaging}/vellumtrace.service.in\" \"\${vt_unit}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE FILES \"\${vt_unit}\")
")
install(FILES ${vt_packaging}/60-vellumtrace.rules DESTINATION ${vt_docdir}/examples)
install(FILES ${vt_packaging}/vellumtrace-gpsd.conf DESTINATION ${vt_docdir}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${vt_docdir})

set(CPACK_PACKAGE_NAME vellumtrace)
set(CPACK_PACKAGE_VENDOR "The Vellumtrace developers")
set(CPACK_PACKAGE_CONTACT "The Vellumtrace developers <vellumtrace@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPS track recorder and photo geotagger for a handheld")
set(CPACK_PACKAGE_DESCRIPTION "Records a GPS receiver's fixes into one track log per UTC day and writes \
each photo of a camera card's DCIM folder its position as EXIF GPS data.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, udev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libimage-exiftool-perl, gpsbabel, socat")
set(CPACK_STRIP_FILES ON)
include(CPack)
