# Installation and the Debian packages (CPack, generator DEB, one package per
# component): "tq5900k", the window and the simulated module; "tq5900k-reader",
# the headless reader with its systemd template unit and an example line.
# scripts/package.sh makes them into build/packages/.

set(TQ_DIST ${PROJECT_SOURCE_DIR}/dist)

# The window and the simulated module.
install(TARGETS tq5900k tq5900k-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
install(FILES ${TQ_DIST}/tq5900k.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
install(FILES ${TQ_DIST}/icons/tq5900k.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${TQ_DIST}/icons/tq5900k-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tq5900k.png COMPONENT window)
endforeach()

# The reader and its service, and the bins' report for the same server.
install(TARGETS tq5900k-reader tq5900k-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT reader)
# Debian 12 keeps units under /lib even with its merged /usr.
install(FILES ${TQ_DIST}/tq5900k-reader@.service DESTINATION /lib/systemd/system COMPONENT reader)
install(FILES ${TQ_DIST}/line1.conf DESTINATION /etc/tq5900k COMPONENT reader)

# Each package's documents: the copyright, the changelog and the manual pages
# (compressed, as Debian wants them) and what a user of that package reads.
set(TQ_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${TQ_CHANGELOG_GZ}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                   COMMAND gzip -9nc ${TQ_DIST}/debian/changelog > ${TQ_CHANGELOG_GZ}
                   DEPENDS ${TQ_DIST}/debian/changelog VERBATIM)
# The manual pages, compressed the same way.
set(TQ_MAN_PAGES)
foreach(page tq5900k tq5900k-sim tq5900k-reader tq5900k-report)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND gzip -9nc ${TQ_DIST}/man/${page}.1 > ${gz}
                     DEPENDS ${TQ_DIST}/man/${page}.1 VERBATIM)
  list(APPEND TQ_MAN_PAGES ${gz})
endforeach()
add_custom_target(tq_package_documents ALL DEPENDS ${TQ_CHANGELOG_GZ} ${TQ_MAN_PAGES})
install(FILES ${CMAKE_BINARY_DIR}/packaging/tq5900k.1.gz ${CMAKE_BINARY_DIR}/packaging/tq5900k-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tq5900k-reader.1.gz ${CMAKE_BINARY_DIR}/packaging/tq5900k-report.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT reader)
set(TQ_PACKAGE_OF_window tq5900k)
set(TQ_PACKAGE_OF_reader tq5900k-reader)
foreach(component window reader)
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${TQ_PACKAGE_OF_${component}})
  install(FILES ${TQ_DIST}/debian/copyright ${TQ_CHANGELOG_GZ} DESTINATION ${docdir} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tq5900k COMPONENT window)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tq5900k COMPONENT window)
install(FILES ${PROJECT_SOURCE_DIR}/docs/site.md ${PROJECT_SOURCE_DIR}/docs/history.md
        ${PROJECT_SOURCE_DIR}/docs/alarms.md ${PROJECT_SOURCE_DIR}/docs/alarm-delivery.md ${PROJECT_SOURCE_DIR}/docs/bins.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tq5900k-reader COMPONENT reader)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tq5900k)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tq5900k developers <tq5900k@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL window reader)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tq5900k)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6sql6-sqlite, qt6-translations-l10n")
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "commission and read TQ5900K temperature acquisition modules\n"
    "A window for technicians and operators: reads the temperatures of a\n"
    "multi-channel temperature acquisition module over a serial line or a\n"
    "network line (MODBUS-RTU-style frames), reads, searches and writes the\n"
    "one-wire sensors' serial numbers, sets the module's address and baud\n"
    "rate, keeps a history with charts and alarms. Its interface is in\n"
    "Simplified Chinese. Also holds tq5900k-sim, a simulated module.")

set(CPACK_DEBIAN_READER_PACKAGE_NAME tq5900k-reader)
# tq5900k-report draws offscreen (a plugin of libqt6gui6) with a font that has Chinese glyphs.
set(CPACK_DEBIAN_READER_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_READER_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_READER_DESCRIPTION
    "headless reader of TQ5900K temperature acquisition modules\n"
    "Reads the modules on one serial or network line in rounds, prints each\n"
    "value as CSV or JSON lines, records them into a history database and\n"
    "publishes them to an MQTT broker. A systemd template unit runs one\n"
    "reader per line as the system user tq5900k. Also holds tq5900k-report,\n"
    "which makes the bins' temperature report (PDF, CSV) from the history.")
set(CPACK_DEBIAN_READER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/reader/postinst ${CMAKE_BINARY_DIR}/packaging/reader/prerm
    ${CMAKE_BINARY_DIR}/packaging/reader/postrm ${CMAKE_BINARY_DIR}/packaging/reader/conffiles)
foreach(script postinst prerm postrm conffiles)
  configure_file(${TQ_DIST}/debian/reader-${script} ${CMAKE_BINARY_DIR}/packaging/reader/${script} COPYONLY)
endforeach()

include(CPack)
