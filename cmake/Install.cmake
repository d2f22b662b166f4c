# cmake --install: the two programs, and the menu entry and icon a Linux desktop looks for.
# Sounds, help and the e-mail store are compiled into the programs.
# corvantis-render goes beside the two programs, where they look for it.
install(TARGETS corvantis corvantis-scan corvantis-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/corvantis.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/corvantis.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/corvantis-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME corvantis.png)
