#include "pseudofs.h"

#include <sys/stat.h>
#include <sys/vfs.h>

namespace treescan {

bool isPseudoFileSystemType(long type) {
    switch (static_cast<unsigned long>(type)) {
    case 0x9fa0UL:      // proc
    case 0x62656572UL:  // sysfs
    case 0x1cd1UL:      // devpts
    case 0x27e0ebUL:    // cgroup
    case 0x63677270UL:  // cgroup2
    case 0x64626720UL:  // debugfs
    case 0x74726163UL:  // tracefs
    case 0x73636673UL:  // securityfs
    case 0x6165676cUL:  // pstore
    case 0xcafe4a11UL:  // bpf
    case 0x62656570UL:  // configfs
    case 0x65735543UL:  // fusectl
    case 0x19800202UL:  // mqueue
    case 0x958458f6UL:  // hugetlbfs
    case 0x0187UL:      // autofs
    case 0x42494e4dUL:  // binfmt_misc
    case 0xde5e81e4UL:  // efivarfs
    case 0xf97cff8cUL:  // selinuxfs
    case 0x6e736673UL:  // nsfs
    case 0x50495045UL:  // pipefs
    case 0x534f434bUL:  // sockfs
        return true;
    default:
        return false;
    }
}

bool isPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return false;
    if (isPseudoFileSystemType(static_cast<long>(fs.f_type)))
        return true;
    // devtmpfs reports tmpfs's magic number; tell it apart by its place: the file system
    // mounted on /dev.
    if (static_cast<unsigned long>(fs.f_type) == 0x01021994UL) {
        struct stat here {}, dev {};
        static const bool devIsTmpfs = [] {
            struct statfs d {};
            return statfs("/dev", &d) == 0 && static_cast<unsigned long>(d.f_type) == 0x01021994UL;
        }();
        return devIsTmpfs && fstat(fd, &here) == 0 && stat("/dev", &dev) == 0 && here.st_dev == dev.st_dev;
    }
    return false;
}

} // namespace treescan
