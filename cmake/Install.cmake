# Where `cmake --install` puts the program, and the Debian package built from
# that by CPack (`cpack -G DEB` in the build folder).

include(GNUInstallDirs)

set(KESTRUNE_APP_ID com.kestrune.IP)
set(KESTRUNE_RESOURCES ${PROJECT_SOURCE_DIR}/resources)

install(TARGETS IP
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    BUNDLE DESTINATION .)

if(UNIX AND NOT APPLE)
    install(FILES ${KESTRUNE_RESOURCES}/linux/${KESTRUNE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${KESTRUNE_RESOURCES}/linux/${KESTRUNE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 32 48)
        install(FILES ${KESTRUNE_RESOURCES}/icons/kestrune-ip-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${KESTRUNE_APP_ID}.png)
    endforeach()
    install(FILES ${KESTRUNE_RESOURCES}/kestrune-ip.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KESTRUNE_APP_ID}.svg)
endif()

set(CPACK_PACKAGE_NAME kestrune-ip-tool)
set(CPACK_PACKAGE_VENDOR "Kestrune")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Useful utility to give your IP Address.")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrunes IP Tool shows the local IPv4 address of this computer in a small window\n\
and a floating window that stays on top, behind an icon in the notification area.")
set(CPACK_PACKAGE_CONTACT "Kestrune <support@kestrune.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kestrune.com/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web address opens through the desktop's URL handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
