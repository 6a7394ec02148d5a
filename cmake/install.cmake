# Installing like an app: the two programs, and on Linux the desktop entry, the logo in the
# usual icon sizes, morvane-cli's completions for bash, zsh and fish and its manual page; on macOS the app bundle with its own identifier. scripts/package
# turns the same rules into a Debian package.
include(GNUInstallDirs)
install(TARGETS morvane morvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} BUNDLE DESTINATION .)

if(APPLE)
    # Morvane's own identifier keeps it out of the Codex matching.
    set(icon ${CMAKE_SOURCE_DIR}/dist/macos/morvane.icns)
    set_source_files_properties(${icon} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
    target_sources(morvane PRIVATE ${icon})
    set_target_properties(morvane PROPERTIES
        MACOSX_BUNDLE ON
        MACOSX_BUNDLE_ICON_FILE morvane.icns
        MACOSX_BUNDLE_GUI_IDENTIFIER cloud.tevrun.morvane
        MACOSX_BUNDLE_BUNDLE_NAME Morvane
        MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})
elseif(UNIX)
    install(FILES dist/linux/morvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # Made at build time by tools/cli_docs.cpp from morvane-cli's command table.
    set(cli_docs ${CMAKE_BINARY_DIR}/cli-docs)
    install(FILES ${cli_docs}/morvane-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
    install(FILES ${cli_docs}/_morvane-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
    install(FILES ${cli_docs}/morvane-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
    install(FILES ${cli_docs}/morvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    foreach(size 16 24 32 48 64 128)
        install(FILES dist/linux/icons/${size}/morvane.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES resources/tevrun_logo.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME morvane.png)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VENDOR "tevrun cloud")
set(CPACK_PACKAGE_CONTACT "Morvane developers <morvane@tevrun.cloud>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Switches Codex between the GPT account login and a TEVRUN API key")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies are the shared libraries the programs link; the Chinese font is advised.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's platform plugins are loaded, not linked: no library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
