// GoogleTest main for tests that need Qt: a QApplication lives for the whole run. The platform
// plugin comes from the environment (ctest sets QT_QPA_PLATFORM=offscreen for tests without a
// display; the GL and GUI tests run under Xvfb with the xcb plugin).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // test discovery needs no application
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
