# cmake --install (and the package, cmake/Package.cmake): the two programs in bin/,
# corvantis-render where they look for it (lib/corvantis/: src/render/render_client.cpp),
# the menu entry, the icons, the AppStream metadata and the man pages.
# Sounds, help and the e-mail store are compiled into the programs.
install(TARGETS corvantis corvantis-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS corvantis-render RUNTIME DESTINATION ${CORVANTIS_PRIVATE_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/${CORVANTIS_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/corvantis.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/corvantis-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME corvantis.png)

# The software centre's page: summary, description, version and date from the top-level
# CMakeLists.txt, the description's paragraphs as <p>.
string(REPLACE "\n\n" "</p>\n    <p>" CORVANTIS_DESCRIPTION_XML "<p>${CORVANTIS_LONG_DESCRIPTION}</p>")
configure_file(${PROJECT_SOURCE_DIR}/resources/${CORVANTIS_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/metainfo/${CORVANTIS_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/metainfo/${CORVANTIS_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The man pages (corvantis_install_man_page: cmake/ManPages.cmake); corvantis(1) with
# the version and release date filled in from the top-level CMakeLists.txt.
configure_file(${PROJECT_SOURCE_DIR}/docs/man/corvantis.1.in ${PROJECT_BINARY_DIR}/man/corvantis.1 @ONLY)
corvantis_install_man_page(${PROJECT_BINARY_DIR}/man/corvantis.1)
