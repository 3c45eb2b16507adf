# find_package(treescan CONFIG): the imported target treescan::treescan, the shared library with
# its include folder (treescan.h).
include("${CMAKE_CURRENT_LIST_DIR}/treescanTargets.cmake")
