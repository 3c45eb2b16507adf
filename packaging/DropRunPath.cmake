# Run by CPack before it packs the staged files: the binaries lose their run path, as the
# package's libtreescan lies where the loader looks anyway (a run path into a system folder is an
# error for Debian).
file(GLOB_RECURSE binaries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(binary IN LISTS binaries)
    file(RPATH_REMOVE FILE "${binary}")
endforeach()
