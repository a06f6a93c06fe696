# Installation (FHS) and the two Debian packages, built by CPack:
#   tabrelpeso         desktop program, report and admin tools, data, reports
#   tabrelpeso-server  the application server as a systemd service
# CPack reads the same install rules the build defines, so the packages cannot
# drift from the targets; dpkg-shlibdeps finds the Qt dependencies.
include(GNUInstallDirs)

set(TRP_PKG_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TRP_DESKTOP_LIBDIR lib/${TRP_SHARE_NAME})
set(TRP_SERVER_LIBDIR lib/${TRP_SHARE_NAME}-server)
set(TRP_DESKTOP_LIBS trp_data trp_ui trp_sql trp_net trp_report trp_model trp_server
  tabrelpeso_module trp_laudo)
set(TRP_DESKTOP_PROGRAMS tabrelpeso tabrelpeso-admin tabrelpeso-report)

# Private libraries find each other beside themselves; programs find theirs
# in their package's private folder, so an unpacked tree runs as it is.
foreach(lib IN LISTS TRP_DESKTOP_LIBS)
  set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()
foreach(program IN LISTS TRP_DESKTOP_PROGRAMS)
  set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${TRP_DESKTOP_LIBDIR}")
endforeach()
set_target_properties(tabrelpeso-server PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${TRP_SERVER_LIBDIR}")

install(TARGETS ${TRP_DESKTOP_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT desktop)
install(TARGETS ${TRP_DESKTOP_LIBS} LIBRARY DESTINATION ${TRP_DESKTOP_LIBDIR}
  NAMELINK_SKIP COMPONENT desktop)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${TRP_SHARE_NAME}/data COMPONENT desktop
  PATTERN "*.py" EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/reports/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${TRP_SHARE_NAME}/reports COMPONENT desktop)
install(FILES ${TRP_PKG_DIR}/tabrelpeso.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
install(FILES ${TRP_PKG_DIR}/tabrelpeso.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)

install(TARGETS tabrelpeso-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT server)
install(TARGETS trp_data trp_server LIBRARY DESTINATION ${TRP_SERVER_LIBDIR}
  NAMELINK_SKIP COMPONENT server)
# The web view's pages, style and script, and the tables' columns as the
# report prints them: plain files, no build step.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/server/web/files/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${TRP_SHARE_NAME}-server/web COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/reports/QEL536.json
  DESTINATION ${CMAKE_INSTALL_DATADIR}/${TRP_SHARE_NAME}-server/web COMPONENT server)
install(FILES ${TRP_PKG_DIR}/tabrelpeso-server.service
  DESTINATION /lib/systemd/system COMPONENT server)
install(FILES ${TRP_PKG_DIR}/tabrelpeso-server.sysusers
  DESTINATION lib/sysusers.d RENAME tabrelpeso-server.conf COMPONENT server)
install(FILES ${TRP_PKG_DIR}/server.conf DESTINATION /etc/tabrelpeso COMPONENT server)
install(PROGRAMS ${TRP_PKG_DIR}/iniciar-sem-systemd DESTINATION ${TRP_SERVER_LIBDIR}
  COMPONENT server)
install(FILES ${TRP_PKG_DIR}/haproxy.cfg.example ${PROJECT_SOURCE_DIR}/scripts/haproxy-503.http
  DESTINATION ${CMAKE_INSTALL_DOCDIR}-server/examples COMPONENT server)

# Man pages from each program's own --help, so they never drift from it, with
# what an installed system needs besides (packaging/man/<program>.h2m, which
# also holds the page's name: help2man encodes a --name twice). help2man runs
# under a UTF-8 locale (in C it writes every accent as "?"), with a home of no
# one's and no XDG folders, so that defaults read ~/.config/...
# Each package gets its copyright and a compressed changelog.
find_program(TRP_HELP2MAN help2man)
find_program(TRP_GZIP gzip REQUIRED)
set(TRP_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(manpages)
foreach(program IN ITEMS ${TRP_DESKTOP_PROGRAMS} tabrelpeso-server)
  set(page ${TRP_MAN_DIR}/${program}.1.gz)
  if(TRP_HELP2MAN AND NOT TRP_SANITIZE)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TRP_MAN_DIR}
      COMMAND ${CMAKE_COMMAND} -E env --unset=XDG_CONFIG_HOME --unset=XDG_DATA_HOME
        --unset=TRP_TOKEN QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8 HOME=/home/usuario
        ${TRP_HELP2MAN} --no-info --section 1 --locale C.UTF-8
        --version-string ${PROJECT_VERSION}
        --include ${TRP_PKG_DIR}/man/${program}.h2m
        --output ${TRP_MAN_DIR}/${program}.1 $<TARGET_FILE:${program}>
      COMMAND ${TRP_GZIP} -9nf ${TRP_MAN_DIR}/${program}.1
      DEPENDS ${program} ${TRP_PKG_DIR}/man/${program}.h2m VERBATIM)
    list(APPEND manpages ${page})
    if(program STREQUAL "tabrelpeso-server")
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT server OPTIONAL)
    else()
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT desktop OPTIONAL)
    endif()
  endif()
endforeach()
configure_file(${TRP_PKG_DIR}/changelog ${CMAKE_BINARY_DIR}/pkgdoc/changelog @ONLY
  NO_SOURCE_PERMISSIONS)
set(changelog ${CMAKE_BINARY_DIR}/pkgdoc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${TRP_GZIP} -9nkf ${CMAKE_BINARY_DIR}/pkgdoc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/pkgdoc/changelog VERBATIM)
add_custom_target(package_files ALL DEPENDS ${manpages} ${changelog})
foreach(component IN ITEMS desktop server)
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${TRP_SHARE_NAME})
  if(component STREQUAL "server")
    set(doc ${doc}-server)
  endif()
  install(FILES ${TRP_PKG_DIR}/copyright ${changelog} DESTINATION ${doc} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TRP_SHARE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe tabrelpeso <equipe@tabrelpeso.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL desktop server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME ${TRP_SHARE_NAME})
# libzip and libxlsxwriter: the spreadsheets of the import wizard and of
# tabrelpeso-admin import-table/export (also found by shlibdeps); Qt SVG: the
# program's icon on its windows.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins, qt6-translations-l10n, libzip4, libxlsxwriter4, libqt6svg6")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "anthropometric reference tables: maintain and print
A desktop program for clinical nutrition and paediatrics staff to keep
weight, height and head circumference by age and weight by height, per
bibliographic reference, percentile and sex, and to print them. It ships the
CDC 2000 and WHO 2006/2007 references as sample data, a report tool that
writes the tables to PDF and a database administration tool.")
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME ${TRP_SHARE_NAME}-server)
# The web view's charts need a font (drawn by the server, without a display).
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, systemd, fonts-dejavu-core")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "anthropometric reference tables: application server
The application server of tabrelpeso for many workstations, as a systemd
service over a SQLite file or a PostgreSQL database, with per-user
credentials, roles and an audit of every change, and a read-only web view
of the references, tables, curves and assessment for any browser.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${TRP_PKG_DIR}/server-scripts/conffiles
  ${TRP_PKG_DIR}/server-scripts/postinst
  ${TRP_PKG_DIR}/server-scripts/prerm ${TRP_PKG_DIR}/server-scripts/postrm)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
