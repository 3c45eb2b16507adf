// GoogleTest main for tests that need Qt: a QApplication lives for the whole run. The platform
// plugin comes from the environment (ctest sets QT_QPA_PLATFORM=offscreen for tests without a
// display; the GL and GUI tests run under Xvfb with the xcb plugin).
#include <QApplication>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Xvfb now and then refuses a connection for a moment while tests start in parallel, and Qt ends
// the program when it can't connect: wait until the display takes one (up to about ten seconds).
void waitForDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!display || !*display || (platform && *platform && std::strncmp(platform, "xcb", 3) != 0))
        return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool connected = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        if (connected) {
            if (attempt > 0)
                std::fprintf(stderr, "display %s took a connection after %d attempts\n", display, attempt + 1);
            return;
        }
        usleep(100 * 1000);
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // test discovery needs no application
    waitForDisplay();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
