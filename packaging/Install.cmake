# Installation: the program, its desktop launcher, help pages, the provider catalog, sample
# templates, the desktop entry and icons; `cpack -G DEB` in the build directory makes a Debian
# package.
set(ORVEX_SOURCE ${PROJECT_SOURCE_DIR})

install(PROGRAMS ${ORVEX_SOURCE}/packaging/orvex-launch DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${ORVEX_SOURCE}/resources/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex/help)
# The dynamic DNS providers the entry dialog offers, read at start.
install(FILES ${ORVEX_SOURCE}/resources/providers.json DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex)
install(DIRECTORY ${ORVEX_SOURCE}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex/samples)
install(FILES ${ORVEX_SOURCE}/packaging/orvex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64)
    install(FILES ${ORVEX_SOURCE}/resources/images/orvex-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME orvex.png)
endforeach()

# systemd units for orvexd: a system service, a user service and an example timer for one-shot
# runs. They name orvexd by its installed path, known only when installing (the package
# installs under /usr whatever the build's prefix), so they are filled in then.
set(ORVEX_UNIT_DIR ${ORVEX_SOURCE}/packaging/systemd)
install(CODE "
    set(ORVEXD \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/orvexd\")
    set(units \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd\")
    foreach(pair system/orvex-system.service:orvex.service system/orvex-once.service:orvex-once.service
                 user/orvex-user.service:orvex.service)
        string(REPLACE \":\" \";\" pair \"\${pair}\")
        list(GET pair 0 source)
        list(GET pair 1 target)
        get_filename_component(folder \"\${source}\" DIRECTORY)
        get_filename_component(name \"\${source}\" NAME)
        message(STATUS \"Installing: \${units}/\${folder}/\${target}\")
        configure_file(\"${ORVEX_UNIT_DIR}/\${name}.in\" \"\${units}/\${folder}/\${target}\" @ONLY)
    endforeach()
")
install(FILES ${ORVEX_UNIT_DIR}/orvex-once.timer DESTINATION lib/systemd/system)

set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "Orvex developers")
set(CPACK_PACKAGE_CONTACT "Orvex developers <orvex@localhost>")
set(CPACK_PACKAGE_VERSION "1.69d")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Publishes where this machine can be reached, by web page and mail")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# libcurl, libsecret, libsystemd, libxml2 and libX11 are loaded at run time when first needed, so the
# library scan cannot see them; the scan adds the rest.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.87.0), libsecret-1-0, libsystemd0, libxml2, libx11-6")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
