#pragma once

namespace treescan {

// True when the open folder `fd` lies on a pseudo file system (proc, sysfs, devtmpfs, cgroup,
// debugfs and the like), which folder totals and searches never enter: their "files" are not
// disk use, and reading some of them blocks.
bool isPseudoFileSystem(int fd);

// The same test on a file system magic number (statfs f_type), for tests.
bool isPseudoFileSystemType(long type);

} // namespace treescan
