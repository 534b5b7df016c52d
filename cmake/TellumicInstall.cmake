# Install rules and the Debian package (CPack). Every program goes into the bin folder, where
# they find each other (foundation/paths.h); the data files name the installed paths.
include(GNUInstallDirs)

set(TELLUMIC_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TELLUMIC_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS tellumic-plugin lns-host lns-sim tellumic-log tellumic-config XIF32BIN RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Files that name the installed programs, written when installing (the prefix is known then).
function(tellumic_install_naming_bindir source placeholder destination)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  set(out ${TELLUMIC_GENERATED_DIR}/installed/${name})
  install(CODE "set(IN \"${source}\")
    set(OUT \"${out}\")
    set(PLACEHOLDER \"${placeholder}\")
    set(BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/TellumicInstalledPath.cmake\")")
  install(FILES ${out} DESTINATION ${destination})
endfunction()

# The plug-in's D-Bus activation file: the session bus starts the installed plug-in.
tellumic_install_naming_bindir(${TELLUMIC_PACKAGING_DIR}/Tellumic_PlugIn.LNSPlugInAPI.service.in "@BINDIR@/"
                               ${CMAKE_INSTALL_DATADIR}/dbus-1/services)

# The harvest's systemd user units: those in contrib/ run the tellumic-log of ~/.local/bin
# (a clone's set-up); installed, they run the installed one.
foreach(unit tellumic-harvest@.service tellumic-harvest@.timer)
  tellumic_install_naming_bindir(${PROJECT_SOURCE_DIR}/contrib/systemd/${unit} "%h/.local/bin/" lib/systemd/user)
endforeach()

foreach(app com.tellumic.NetworkBrowser com.tellumic.LogViewer)
  install(FILES ${TELLUMIC_PACKAGING_DIR}/${app}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TELLUMIC_PACKAGING_DIR}/icons/${app}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endforeach()
# The log viewer opens the files given to it and has no menu entry: the browser's metainfo
# describes the package.
configure_file(${TELLUMIC_PACKAGING_DIR}/com.tellumic.NetworkBrowser.metainfo.xml
               ${TELLUMIC_GENERATED_DIR}/com.tellumic.NetworkBrowser.metainfo.xml @ONLY)
install(FILES ${TELLUMIC_GENERATED_DIR}/com.tellumic.NetworkBrowser.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(page tellumic-plugin lns-host lns-sim tellumic-log tellumic-config XIF32BIN)
  configure_file(${TELLUMIC_PACKAGING_DIR}/man/${page}.1 ${TELLUMIC_GENERATED_DIR}/man/${page}.1 @ONLY)
  # Debian wants manual pages compressed to the maximum, without a time stamp.
  add_custom_command(OUTPUT ${TELLUMIC_GENERATED_DIR}/man/${page}.1.gz
                     COMMAND gzip -9nf -k ${TELLUMIC_GENERATED_DIR}/man/${page}.1
                     DEPENDS ${TELLUMIC_GENERATED_DIR}/man/${page}.1)
  list(APPEND TELLUMIC_COMPRESSED ${TELLUMIC_GENERATED_DIR}/man/${page}.1.gz)
  install(FILES ${TELLUMIC_GENERATED_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

foreach(command lns-host lns-sim tellumic-log tellumic-config)
  install(FILES ${TELLUMIC_PACKAGING_DIR}/tellumic.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${command})
endforeach()

# What lintian notes of texts the package cannot spell otherwise, each with its reason.
install(FILES ${TELLUMIC_PACKAGING_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME tellumic)

configure_file(${TELLUMIC_PACKAGING_DIR}/changelog ${TELLUMIC_GENERATED_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${TELLUMIC_GENERATED_DIR}/changelog.gz
                   COMMAND gzip -9nf -k ${TELLUMIC_GENERATED_DIR}/changelog
                   DEPENDS ${TELLUMIC_GENERATED_DIR}/changelog)
list(APPEND TELLUMIC_COMPRESSED ${TELLUMIC_GENERATED_DIR}/changelog.gz)
add_custom_target(tellumic_packaging_files ALL DEPENDS ${TELLUMIC_COMPRESSED})
install(FILES ${TELLUMIC_PACKAGING_DIR}/copyright ${TELLUMIC_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tellumic)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellumic)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tellumic plug-in developers <maintainers@users.noreply.c-seed-52d29a8b.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LNS plug-in and tools for Tellumic three-phase energy meters")
set(CPACK_PACKAGE_DESCRIPTION "A device plug-in for LonWorks network services, for the Tellumic family of
three-phase energy meters, on a simulated LNS installation: the network
browser, the device window with live values, settings and meter commands,
log download into CSV files, the log viewer, an unattended nightly harvest
and factory calibration.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plug-in is started by the session bus; the windows open on X11 (or XWayland).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus, dbus-user-session | dbus-session-bus, qt6-qpa-plugins")
# bash-completion loads the completions of the programs (networks and devices by name).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-x11, xauth, libglib2.0-bin, bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
