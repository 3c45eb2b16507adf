# `make package`: a Debian package of everything the install puts in place (the program and the
# treescan command, the library with its header, pkg-config and CMake files, the shared files, the
# desktop entry, icons, metainfo and manual pages), built from this build folder by CPack.
# Its dependencies are read off the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ketra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "see a folder as a 3D bar graph of its files and sub-folders")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/description.txt)
set(CPACK_PACKAGE_CONTACT "Ketra developers <ketra@ketra.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Added to what the binaries need: Qt's window-system plugins (Qt loads them, nothing links them);
# picture formats beyond Qt's own, the desktop's opener and the font the 3D labels are drawn in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, xdg-utils, fonts-liberation2")
# The program and the command link the package's own libtreescan: dpkg-shlibdeps finds it in the
# package's tree and takes it as provided by the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)
# In the package the library lies in a folder the loader searches: the binaries' $ORIGIN run
# path, which finds it in any other prefix, is taken out.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DropRunPath.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DropMaintainerScripts.cmake)
include(CPack)

# The copyright file and the changelog, where Debian wants them.
set(doc ${CMAKE_CURRENT_BINARY_DIR}/package-doc)
add_custom_command(OUTPUT ${doc}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${doc}
                   COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${CMAKE_CURRENT_LIST_DIR}/changelog ${doc}/changelog.gz
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${doc}/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ketra)
