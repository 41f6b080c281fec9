# cmake --install: the programs, and with the window its desktop entry and
# icon. cpack -G DEB: a Debian package whose dependencies dpkg-shlibdeps
# finds from the programs' libraries.
include(GNUInstallDirs)
install(TARGETS flovir-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET flovir-meter-sim)
  install(TARGETS flovir-meter-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET flovir)
  install(TARGETS flovir RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/flovir.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/flovir.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME flovir)
set(CPACK_PACKAGE_VENDOR "flovir")
set(CPACK_PACKAGE_CONTACT "flovir developers <flovir@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Modbus-RTU master for the FLOVIR four-channel ultrasonic flow meter")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Russian texts in Qt's own dialogs, and the fonts the report areas use.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
