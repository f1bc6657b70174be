# Installation: the program, its desktop launcher, help pages, sample templates, the desktop
# entry and icons; `cpack -G DEB` in the build directory makes a Debian package.
set(ORVEX_SOURCE ${PROJECT_SOURCE_DIR})

install(PROGRAMS ${ORVEX_SOURCE}/packaging/orvex-launch DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${ORVEX_SOURCE}/resources/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex/help)
install(DIRECTORY ${ORVEX_SOURCE}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex/samples)
install(FILES ${ORVEX_SOURCE}/packaging/orvex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64)
    install(FILES ${ORVEX_SOURCE}/resources/images/orvex-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME orvex.png)
endforeach()

set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "Orvex developers")
set(CPACK_PACKAGE_CONTACT "Orvex developers <orvex@localhost>")
set(CPACK_PACKAGE_VERSION "1.69d")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Publishes where this machine can be reached, by web page and mail")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
