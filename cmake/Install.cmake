# Where `cmake --install` puts the program, and the Debian package built from
# that by CPack (`cpack -G DEB` in the build folder).

set(CMAKE_INSTALL_DOCDIR share/doc/kestrune-ip-tool)
include(GNUInstallDirs)

set(KESTRUNE_APP_ID com.kestrune.IP)
set(KESTRUNE_RESOURCES ${PROJECT_SOURCE_DIR}/resources)

install(TARGETS IP
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(UNIX)
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

    # The manual page (made by cmake/Version.cmake), the changelog and the
    # copyright, as Debian keeps them:
    # compressed the reproducible way (no name, no time stamp).
    set(docs ${CMAKE_BINARY_DIR}/package-docs)
    add_custom_command(
        OUTPUT ${docs}/IP.1.gz ${docs}/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${docs}
        COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/IP.1 > ${docs}/IP.1.gz
        COMMAND gzip -9nc ${KESTRUNE_RESOURCES}/linux/changelog > ${docs}/changelog.gz
        DEPENDS ${PROJECT_BINARY_DIR}/IP.1 ${KESTRUNE_RESOURCES}/linux/changelog
        VERBATIM)
    add_custom_target(package-docs ALL DEPENDS ${docs}/IP.1.gz ${docs}/changelog.gz)
    install(FILES ${docs}/IP.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs}/changelog.gz ${KESTRUNE_RESOURCES}/linux/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The installer for Windows (NSIS), beside IP.exe, where makensis is there.
if(WIN32)
    find_program(KESTRUNE_MAKENSIS makensis)
    if(KESTRUNE_MAKENSIS)
        set(KESTRUNE_INSTALLER
            ${CMAKE_BINARY_DIR}/KestrunesIPTool-${KESTRUNE_VERSION_WINDOWS}-setup.exe)
        add_custom_command(
            OUTPUT ${KESTRUNE_INSTALLER}
            COMMAND ${KESTRUNE_MAKENSIS} -V2 -DEXE=$<TARGET_FILE:IP>
                    -DICON=${KESTRUNE_RESOURCES}/IP.ico -DOUTFILE=${KESTRUNE_INSTALLER}
                    -DVERSION=${KESTRUNE_VERSION_WINDOWS} -DVERSION_QUAD=${KESTRUNE_VERSION_QUAD}
                    ${KESTRUNE_RESOURCES}/installer.nsi
            DEPENDS IP ${KESTRUNE_RESOURCES}/installer.nsi ${KESTRUNE_RESOURCES}/IP.ico
            VERBATIM)
        add_custom_target(installer ALL DEPENDS ${KESTRUNE_INSTALLER})
    endif()
endif()

set(CPACK_PACKAGE_NAME kestrune-ip-tool)
set(CPACK_PACKAGE_VENDOR "Kestrune")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Useful utility to give your IP Address.")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrunes IP Tool shows the local IPv4 address of this computer in a small\n\
window and in a floating window that stays on top, behind an icon in the\n\
notification area.")
set(CPACK_PACKAGE_CONTACT "Kestrune <support@kestrune.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kestrune.com/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web address opens through the desktop's URL handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
# The narrow sans serif the buttons' captions are laid out for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
# A native Wayland window, for those who choose it (see the README).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, wl-clipboard")
include(CPack)
