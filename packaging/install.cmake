# What `cmake --install` puts where, and the two Debian packages
# `cpack -G DEB` makes of it:
#   vellumtrace (component main), which needs no display or sound library:
#     bin/                          vellumtrace, vellumtrace-tool
#     share/man/man1/               vellumtrace.1.gz, vellumtrace-tool.1.gz
#     lib/systemd/system/           vellumtrace.service
#     lib/sysusers.d/               vellumtrace.conf (the service's user)
#     share/doc/vellumtrace/        README.md, copyright, changelog.gz,
#                                   examples/60-vellumtrace.rules,
#                                   examples/vellumtrace.service.d/local.conf,
#                                   examples/vellumtrace-gpsd.conf
#   vellumtrace-display-sdl (component display-sdl), for --display sdl:
#     lib/vellumtrace/              vellumtrace-display-sdl.so
#     share/doc/vellumtrace-display-sdl/  copyright, changelog.gz
include(GNUInstallDirs)

set(vt_packaging ${CMAKE_SOURCE_DIR}/packaging)
set(vt_docdir ${CMAKE_INSTALL_DATADIR}/doc/vellumtrace)
set(VT_PACKAGE_MAINTAINER "The Vellumtrace developers <vellumtrace@example.org>" CACHE STRING
  "The Maintainer of the Debian packages, as Name <address>")

install(TARGETS vellumtrace vellumtrace-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT main)
# Beside bin/, where the program looks for it.
install(TARGETS vellumtrace-display-sdl LIBRARY DESTINATION lib/vellumtrace COMPONENT display-sdl)

# Manual pages and changelogs compressed as Debian has them (gzip -9n: no
# name or time stamp, so the same sources give the same bytes).
find_program(VT_GZIP gzip REQUIRED)
function(vt_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${VT_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
set(vt_compressed "")
foreach(page vellumtrace.1 vellumtrace-tool.1)
  set(VT_VERSION ${PROJECT_VERSION})
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  vt_gzip(${CMAKE_BINARY_DIR}/man/${page} ${CMAKE_BINARY_DIR}/man/${page}.gz)
  list(APPEND vt_compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT main)
endforeach()
set(VT_VERSION ${PROJECT_VERSION})
set(VT_MAINTAINER ${VT_PACKAGE_MAINTAINER})
configure_file(${vt_packaging}/debian/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
vt_gzip(${CMAKE_BINARY_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
list(APPEND vt_compressed ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(vt_compressed_docs ALL DEPENDS ${vt_compressed})

# The unit names the program where this install puts it, which is only known
# at install time (cmake --install --prefix, or the package's /usr). Each
# prefix gets its own copy, so two installs at once cannot swap units.
install(CODE "
  set(VT_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  string(MD5 vt_prefix_key \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(vt_unit \"${CMAKE_BINARY_DIR}/packaging/\${vt_prefix_key}/vellumtrace.service\")
  configure_file(\"${vt_packaging}/vellumtrace.service.in\" \"\${vt_unit}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE FILES \"\${vt_unit}\")
" COMPONENT main)
install(FILES ${vt_packaging}/vellumtrace.sysusers DESTINATION lib/sysusers.d RENAME vellumtrace.conf
  COMPONENT main)
install(FILES ${vt_packaging}/60-vellumtrace.rules DESTINATION ${vt_docdir}/examples COMPONENT main)
install(FILES ${vt_packaging}/vellumtrace-local.conf DESTINATION ${vt_docdir}/examples/vellumtrace.service.d
  RENAME local.conf COMPONENT main)
install(FILES ${vt_packaging}/vellumtrace-gpsd.conf DESTINATION ${vt_docdir}/examples COMPONENT main)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${vt_docdir} COMPONENT main)
foreach(component main display-sdl)
  set(package vellumtrace)
  if(component STREQUAL "display-sdl")
    set(package vellumtrace-display-sdl)
  endif()
  install(FILES ${vt_packaging}/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_PACKAGE_NAME vellumtrace)
set(CPACK_PACKAGE_VENDOR "The Vellumtrace developers")
set(CPACK_PACKAGE_CONTACT "${VT_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main display-sdl)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME vellumtrace)
# Each description: the synopsis line, then the long text.
set(CPACK_DEBIAN_MAIN_DESCRIPTION "GPS track recorder and photo geotagger for a handheld
Records a GPS receiver's fixes into one track log per UTC day and writes
each photo of a camera card's DCIM folder its position as EXIF GPS data.
It runs as a system service on a device without a screen, tagging each card
as it goes in, or with its screen through vellumtrace-display-sdl.")
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS "systemd, udev")
set(CPACK_DEBIAN_MAIN_PACKAGE_SUGGESTS "vellumtrace-display-sdl, libimage-exiftool-perl, gpsbabel, socat")
set(CPACK_DEBIAN_MAIN_PACKAGE_CONTROL_EXTRA
  ${vt_packaging}/debian/postinst ${vt_packaging}/debian/prerm ${vt_packaging}/debian/postrm)

set(CPACK_DEBIAN_DISPLAY-SDL_PACKAGE_NAME vellumtrace-display-sdl)
set(CPACK_DEBIAN_DISPLAY-SDL_DESCRIPTION "SDL screen for the Vellumtrace GPS recorder and geotagger
The module that shows Vellumtrace's tagging screen in an SDL window, or on a
bare console through SDL's kmsdrm driver, and takes touches from the mouse
or a touch screen (vellumtrace --display sdl).")
set(CPACK_DEBIAN_DISPLAY-SDL_PACKAGE_DEPENDS "vellumtrace (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DISPLAY-SDL_PACKAGE_CONTROL_EXTRA
  ${vt_packaging}/debian-display-sdl/postinst ${vt_packaging}/debian-display-sdl/postrm)
set(CPACK_STRIP_FILES ON)
include(CPack)
