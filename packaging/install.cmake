# Installing VARNEX SOLVER as a desktop program (cmake --install, and a Debian package by CPack):
# the two executables, the user guide, launchers on PATH, the icon in the hicolor theme, a desktop
# entry, AppStream metainfo and manual pages. Included from the top-level CMakeLists.txt, so that the
# generated icons can also be embedded in varnex as its window icon.
#
# The program writes into the folder of its own executable (data/, solutions, the agreement marker)
# and beside it (the row file), so an installed copy cannot run from /usr: the executables go to a
# private folder, and the launchers bin/varnex and bin/varnex-batch copy them with the guide into a
# per-user application folder and run them from there (packaging/launcher.sh.in).

include(GNUInstallDirs)

find_program(RSVG_CONVERT rsvg-convert)
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(NOT RSVG_CONVERT OR NOT HELP2MAN OR NOT GZIP)
    message(FATAL_ERROR "The icon and the manual page need rsvg-convert (librsvg2-bin), help2man and gzip; "
                        "scripts/deps.sh installs them.")
endif()

set(VARNEX_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(VARNEX_GENERATED ${CMAKE_BINARY_DIR}/packaging)

# The PNG sizes of the icon, rendered from the SVG at build time.
set(varnex_icon_sizes 16 22 24 32 48 64 128 256)
set(varnex_icon_pngs)
foreach(size ${varnex_icon_sizes})
    set(png ${VARNEX_GENERATED}/icons/${size}x${size}/varnex.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNEX_GENERATED}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${VARNEX_PACKAGING}/varnex.svg
        DEPENDS ${VARNEX_PACKAGING}/varnex.svg VERBATIM)
    list(APPEND varnex_icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# Every window takes its icon from these (shell/main.cpp); they live under ":/icons/".
qt_add_resources(varnex varnex_icons PREFIX /icons BASE ${VARNEX_GENERATED}/icons FILES ${varnex_icon_pngs})
install(FILES ${VARNEX_PACKAGING}/varnex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual pages, compressed as Debian installs them. varnex-batch's is made from its own --help, so
# that the two always agree.
set(varnex_man ${VARNEX_GENERATED}/man)
add_custom_command(OUTPUT ${varnex_man}/varnex-batch.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${varnex_man}
    COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            --include=${VARNEX_PACKAGING}/varnex-batch.h2m --output=${varnex_man}/varnex-batch.1
            $<TARGET_FILE:varnex-batch>
    COMMAND ${GZIP} -9nf ${varnex_man}/varnex-batch.1
    DEPENDS varnex-batch ${VARNEX_PACKAGING}/varnex-batch.h2m VERBATIM)
add_custom_command(OUTPUT ${varnex_man}/varnex.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${varnex_man}
    COMMAND ${CMAKE_COMMAND} -E copy ${VARNEX_PACKAGING}/varnex.1 ${varnex_man}/varnex.1
    COMMAND ${GZIP} -9nf ${varnex_man}/varnex.1
    DEPENDS ${VARNEX_PACKAGING}/varnex.1 VERBATIM)
add_custom_target(varnex_desktop_files ALL DEPENDS ${varnex_man}/varnex-batch.1.gz ${varnex_man}/varnex.1.gz)
install(FILES ${varnex_man}/varnex.1.gz ${varnex_man}/varnex-batch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The executables in their private folder, the guide in the data folder, the launchers on PATH.
set(varnex_private_dir ${CMAKE_INSTALL_LIBEXECDIR}/varnex)
set(varnex_data_dir ${CMAKE_INSTALL_DATADIR}/varnex)
# Relocations resolved at start and then read-only, as Debian builds its programs.
target_link_options(varnex PRIVATE -Wl,-z,relro,-z,now)
target_link_options(varnex-batch PRIVATE -Wl,-z,relro,-z,now)
install(TARGETS varnex varnex-batch RUNTIME DESTINATION ${varnex_private_dir})
install(FILES ${CMAKE_SOURCE_DIR}/shell/user_guide.htm ${GUIDE_PICTURES} DESTINATION ${varnex_data_dir})
# The launchers find the installed files relative to themselves, so the prefix can be chosen at
# install time (cmake --install --prefix).
file(RELATIVE_PATH launcher_to_private /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${varnex_private_dir})
file(RELATIVE_PATH launcher_to_data /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${varnex_data_dir})
foreach(launcher_program varnex varnex-batch)
    configure_file(${VARNEX_PACKAGING}/launcher.sh.in ${VARNEX_GENERATED}/bin/${launcher_program} @ONLY)
    install(PROGRAMS ${VARNEX_GENERATED}/bin/${launcher_program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Desktop integration and the package's documents.
install(FILES ${VARNEX_PACKAGING}/varnex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${VARNEX_PACKAGING}/com.varnex_solver.varnex.metainfo.xml.in
    ${VARNEX_GENERATED}/com.varnex_solver.varnex.metainfo.xml @ONLY)
install(FILES ${VARNEX_GENERATED}/com.varnex_solver.varnex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VARNEX_PACKAGING}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
configure_file(${VARNEX_PACKAGING}/changelog.in ${VARNEX_GENERATED}/changelog @ONLY)
add_custom_command(OUTPUT ${VARNEX_GENERATED}/changelog.gz
    COMMAND ${GZIP} -9nkf ${VARNEX_GENERATED}/changelog
    DEPENDS ${VARNEX_PACKAGING}/changelog.in VERBATIM)
add_custom_target(varnex_changelog ALL DEPENDS ${VARNEX_GENERATED}/changelog.gz)
install(FILES ${VARNEX_GENERATED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${VARNEX_PACKAGING}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME varnex)

# The Debian package: cpack -G DEB in the build folder makes varnex_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnex)
set(CPACK_PACKAGE_VENDOR VARNEX)
set(CPACK_PACKAGE_CONTACT "VARNEX <info@varnex-solver.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "solver for systems of linear equations in single precision")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VARNEX SOLVER solves a system of N linear equations A*x = b in single
precision, by Gaussian elimination followed by column relaxation. Systems
are typed into a grid or opened from plain-text files; systems too large
for memory are solved from a binary row file. The package also holds
varnex-batch, which runs the same commands without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.varnex-solver.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a Qt platform plugin, which no library dependency names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
