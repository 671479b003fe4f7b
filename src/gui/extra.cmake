# The desktop program's installation: the program (installed by the top-level rules), its menu
# entry and its icon, in the places freedesktop.org names for them.
if(ZADARI_BUILD_GUI)
    install(FILES ${CMAKE_SOURCE_DIR}/src/gui/resources/zadari.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/src/gui/resources/zadari.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${CMAKE_SOURCE_DIR}/src/gui/resources/zadari.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()
