// When the program starts itself again to get huge pages for its heap.
#include "app/HugePages.h"

#include <gtest/gtest.h>

using ketra::ShouldRestartForHugePages;

TEST(HugePages, RestartOnlyWhereItHelpsAndNeverTwice) {
    const char* madvise = "always [madvise] never\n";
    EXPECT_TRUE(ShouldRestartForHugePages(nullptr, false, madvise, "2.36"));
    EXPECT_TRUE(ShouldRestartForHugePages("", false, madvise, "2.35"));
    EXPECT_TRUE(ShouldRestartForHugePages(nullptr, false, madvise, "3.0"));
    // The second start, the user's own tunables, a glibc without the tunable.
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, true, madvise, "2.36"));
    EXPECT_FALSE(ShouldRestartForHugePages("glibc.malloc.check=3", false, madvise, "2.36"));
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, false, madvise, "2.34"));
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, false, madvise, "unknown"));
    // Huge pages always (nothing to ask for), never (nothing to get), or no such file.
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, false, "[always] madvise never\n", "2.36"));
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, false, "always madvise [never]\n", "2.36"));
    EXPECT_FALSE(ShouldRestartForHugePages(nullptr, false, "", "2.36"));
}
