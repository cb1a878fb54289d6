# What is installed, and the Debian package of it (scripts/package.sh runs CPack).
if(WIN32 OR NOT ORVIK_BUILD_GUI OR NOT TARGET orvik)
    return()
endif()
include(GNUInstallDirs)

install(TARGETS orvik orvik-cli orvik-bus-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET orvik-mqtt)
    install(TARGETS orvik-mqtt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Debian 12 keeps the units of packages in /lib.
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvik-mqtt@.service
        DESTINATION /lib/systemd/system)
endif()

set(pkg ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${pkg}/orvik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg}/net.tarnwell.orvik.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(icons ${PROJECT_SOURCE_DIR}/resources/icon)
install(FILES ${icons}/orvik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${icons}/orvik-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME orvik.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/tools/wireshark/orvik.lua
    DESTINATION ${CMAKE_INSTALL_DATADIR}/orvik)

# Manual pages: written for scdoc, turned into roff and compressed at build time. The package
# build requires them; any other build makes them when scdoc is there.
if(ORVIK_PACKAGE)
    find_program(ORVIK_SCDOC scdoc REQUIRED)
else()
    find_program(ORVIK_SCDOC scdoc)
endif()
find_program(ORVIK_GZIP gzip REQUIRED)
if(ORVIK_SCDOC)
    set(pages)
    set(manual orvik orvik-cli orvik-bus-sim)
    if(TARGET orvik-mqtt)
        list(APPEND manual orvik-mqtt)
    endif()
    foreach(page ${manual})
        set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
            COMMAND sh -c "'${ORVIK_SCDOC}' < '${pkg}/man/${page}.1.scd' | '${ORVIK_GZIP}' -9n > '${out}'"
            DEPENDS ${pkg}/man/${page}.1.scd VERBATIM)
        list(APPEND pages ${out})
    endforeach()
    add_custom_target(orvik_manual_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "scdoc not found: the manual pages are not built")
endif()

# Debian's documentation of the package (a native one: its changelog is changelog.gz).
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND sh -c "'${ORVIK_GZIP}' -9n < '${pkg}/debian/changelog' > '${changelog}'"
    DEPENDS ${pkg}/debian/changelog VERBATIM)
add_custom_target(orvik_package_changelog ALL DEPENDS ${changelog})
install(FILES ${pkg}/debian/copyright ${changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvik)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvik interface developers <maintainers@users.noreply.c-seed-cbbfe12c.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch and configure a bus of Orvik circuit-breaker modules")
set(CPACK_PACKAGE_DESCRIPTION
"The Tarnwell Orvik interface watches and configures a bus of up to eight
Orvik circuit-breaker modules over one serial port, usually a USB serial
adapter. It shows the modules on the bus and the state, faults and
currents of their breakers, switches breakers and sets trip currents and
times, power-on defaults and light functions.

The package holds the program (orvik), a command-line tool that saves,
compares and applies module settings from files (orvik-cli), a bridge
that publishes a bus to an MQTT broker with Home Assistant discovery, as
a systemd service (orvik-mqtt), a bus simulator to try them without
hardware (orvik-bus-sim), and a Wireshark dissector for their captures.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
