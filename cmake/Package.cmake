# make package (cpack in the build folder): corvantis_<version>_<arch>.deb with what
# cmake/Install.cmake installs under /usr, its name, version and description from the
# top-level CMakeLists.txt. Checked by tests/package and, by hand, with lintian.
set(CORVANTIS_MAINTAINER "${CORVANTIS_COMPANY} <packages@${CORVANTIS_WEBSITE}>")

# What Debian asks of every package: its copyright and its changelog, gzipped (-n, as
# the man pages, so the same sources give the same package).
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvantis)
execute_process(COMMAND date -u -R -d "${CORVANTIS_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE CORVANTIS_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${PROJECT_SOURCE_DIR}/docs/changelog.in ${PROJECT_BINARY_DIR}/package/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/package/changelog.gz
  COMMAND gzip -n -9 -k -f ${PROJECT_BINARY_DIR}/package/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/package/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/package/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvantis)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvantis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${CORVANTIS_COMPANY})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION ${CORVANTIS_LONG_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT ${CORVANTIS_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # corvantis_0.1.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CORVANTIS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends: the libraries the programs link, as dpkg-shlibdeps finds them (the web
# engine's with its own process, libqt6webenginecore6-bin); and the Qt plugins they load
# at run time, which it cannot see: the SQLite driver (the history, the e-mail store) and
# the platform plugins (xcb and wayland for the window, offscreen for corvantis-render).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")

include(CPack)
