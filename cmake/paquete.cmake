# The Debian package: `cmake --build build --target package` makes qtl99_<version>_amd64.deb with
# what `cmake --install` installs, its dependencies found by dpkg-shlibdeps, and mtools.
set(paquete_doc ${CMAKE_BINARY_DIR}/paquete-doc)
file(MAKE_DIRECTORY ${paquete_doc})
# The manual and the changelog go compressed, reproducibly (no name, no time), as Debian has
# them.
add_custom_command(OUTPUT ${paquete_doc}/QTL99.1.gz ${paquete_doc}/qtl99-cd.1.gz
                   ${paquete_doc}/changelog.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/QTL99.1 > ${paquete_doc}/QTL99.1.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/qtl99-cd.1 > ${paquete_doc}/qtl99-cd.1.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${paquete_doc}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/QTL99.1 ${PROJECT_SOURCE_DIR}/docs/qtl99-cd.1
          ${PROJECT_SOURCE_DIR}/docs/changelog)
add_custom_target(paquete-doc ALL DEPENDS ${paquete_doc}/QTL99.1.gz ${paquete_doc}/qtl99-cd.1.gz
                  ${paquete_doc}/changelog.gz)
install(FILES ${paquete_doc}/changelog.gz ${PROJECT_SOURCE_DIR}/docs/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/qtl99)
install(FILES ${paquete_doc}/QTL99.1.gz ${paquete_doc}/qtl99-cd.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qtl99)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quintarel")
set(CPACK_PACKAGE_CONTACT "Equipo de QTL99 <qtl99@quintarel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes the installation floppy disks of a QTL99 CD")
set(CPACK_PACKAGE_DESCRIPTION "QTL99 turns its installation CD into the set of
installation floppy disks that Archivos.ini describes: onto a floppy drive
(a USB one through the desktop's disk service) or as 1.44 MB floppy images,
with or without a window. Every file is read back from the disk and compared.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mtools")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
