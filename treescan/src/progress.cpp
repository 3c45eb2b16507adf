#include "progress.h"

#include "treescan.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace treescan {

namespace {

// Set from the first signal after the owner's last look, so later ones skip the write.
std::atomic<bool> g_pending[2];

int descriptor() {
    static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

} // namespace

void signalProgress(Progress kind) noexcept {
    if (!g_pending[static_cast<int>(kind)].exchange(true) && descriptor() >= 0) {
        std::uint64_t one = 1;
        while (::write(descriptor(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void progressSeen(Progress kind) noexcept {
    g_pending[static_cast<int>(kind)].store(false);
}

} // namespace treescan

extern "C" {

int32_t GetProgressDescriptor(void) {
    return treescan::descriptor();
}

int32_t WaitForProgress(int32_t timeoutMs) {
    const int fd = treescan::descriptor();
    if (fd < 0)
        return 1; // no descriptor: the caller polls as it would without one
    struct pollfd p = {fd, POLLIN, 0};
    int n;
    while ((n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs)) < 0 && errno == EINTR) {
    }
    if (n <= 0)
        return 0;
    std::uint64_t count;
    (void)!::read(fd, &count, sizeof count);
    return 1;
}

} // extern "C"
