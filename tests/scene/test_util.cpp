// Module utilities: colour conversions, the degree quaternion, the elapsed-time timer and the
// texture cache.
#include "scene/D3DUtil.h"
#include "scene/ElapsedTimerClock.h"
#include "scene_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <limits>

using platform::ColorValue;

TEST(ColourTest, LongToColorValueSplitsTheChannels) {
    struct Case {
        std::uint32_t argb;
        ColorValue expected;
    };
    const Case cases[] = {
        {0xFF8000FFu, {128 / 255.0f, 0, 1, 1}},
        {0x80000000u, {0, 0, 0, 128 / 255.0f}}, // negative: alpha byte with bit 7 set
        {0x7F102030u, {16 / 255.0f, 32 / 255.0f, 48 / 255.0f, 127 / 255.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argb);
        const ColorValue v = LongToColorValue(static_cast<std::int32_t>(c.argb));
        EXPECT_FLOAT_EQ(v.r, c.expected.r);
        EXPECT_FLOAT_EQ(v.g, c.expected.g);
        EXPECT_FLOAT_EQ(v.b, c.expected.b);
        EXPECT_FLOAT_EQ(v.a, c.expected.a);
    }
}

TEST(ColourTest, ColorValueToLongRoundsTiesToEvenAndPacksAlphaHigh) {
    struct Case {
        const char* what;
        ColorValue value;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"opaque red", {1, 0, 0, 1}, 0xFFFF0000u},
        {"transparent black", {0, 0, 0, 0}, 0},
        {"alpha 0.5 is 127.5 -> 128: negative", {0, 0, 0, 0.5f}, 0x80000000u},
        {"alpha below one half stays positive", {0, 0, 0, 0.4f}, 0x66000000u},
        {"0.5/255 -> 0", {0.5f / 255, 0, 0, 0}, 0x00000000u},
        {"1.5/255 -> 2", {0, 1.5f / 255, 0, 0}, 0x00000200u},
        {"2.5/255 -> 2", {0, 0, 2.5f / 255, 0}, 0x00000002u},
        {"0.5 -> 128", {0.5f, 0.5f, 0.5f, 1}, 0xFF808080u},
        {"just above a tie", {0, 0, 2.51f / 255, 0}, 0x00000003u},
        {"out of range is clamped", {2, -1, std::numeric_limits<float>::quiet_NaN(), 1.5f}, 0xFFFF0000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ColorValueToLong(c.value), static_cast<std::int32_t>(c.expected));
    }
}

TEST(ColourTest, EveryByteSurvivesARoundTripAndColorValue4TakesAlphaFirst) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        const std::uint32_t argb = n << 24 | (255 - n) << 16 | ((n * 7) & 0xFF) << 8 | n;
        EXPECT_EQ(ColorValueToLong(LongToColorValue(static_cast<std::int32_t>(argb))),
                  static_cast<std::int32_t>(argb))
            << n;
    }
    EXPECT_EQ(ColorValueToLong(ColorValue4(0.4f, 0.2f, 0.6f, 1.0f)), 0x663399FF);
    EXPECT_TRUE(Near(vec3(1, 2, 3), {1, 2, 3}));
}

TEST(UtilTest, QuaternionFromAxisDegreesTakesPiAs3Point1415) {
    // 90 degrees -> 1.57075 rad; half of it is 0.785375 rad.
    const platform::Quaternion q = QuaternionFromAxisDegrees(1, 0, 0, 90);
    EXPECT_NEAR(q.x, 0.70709038f, 2e-7f);
    EXPECT_NEAR(q.w, 0.70712318f, 2e-7f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
    // 180 degrees about a non-unit axis: the axis is normalised and w = cos(1.57075) = 4.63e-5.
    const platform::Quaternion h = QuaternionFromAxisDegrees(0, 2, 2, 180);
    EXPECT_NEAR(h.w, 4.6327e-5f, 1e-8f);
    EXPECT_NEAR(h.y, 0.70710678f, 1e-6f);
    EXPECT_NEAR(h.z, 0.70710678f, 1e-6f);
}

// ---- elapsed-time timer ----

namespace {

double g_fakeNow = 0;

} // namespace

TEST(TimerTest, CommandsFollowTheClock) {
    SetElapsedTimerClock([] { return g_fakeNow; });
    struct Step {
        double now;
        std::int32_t command;
        float expected;
    };
    const Step steps[] = {
        {100, TIMER_RESET, 0},            // base 100, stop 0, last 0
        {103, TIMER_GETAPPTIME, 3},       //
        {104, TIMER_STOP, 104},           // stop 104
        {110, TIMER_START, 110},          // base 106, last 6, stop 0
        {111, TIMER_GETAPPTIME, 5},       // the stopped 6 s do not count
        {111, TIMER_GETELAPSEDTIME, 105}, // 111 - 6
        {111.25, TIMER_GETELAPSEDTIME, 0.25f},
        {111.25, TIMER_GETELAPSEDTIME, 0},
        {50, TIMER_GETELAPSEDTIME, 0}, // the clock went back: 0, never negative
        {50.5, TIMER_GETELAPSEDTIME, 0.5f},
        {120, TIMER_ADVANCE, 120},        // base = 106 + 120 - (0 + 0.1)
        {121, TIMER_GETAPPTIME, -104.9f}, // 121 - 225.9
        {130, 5, 130},                    // anything else reads the clock
    };
    for (const Step& s : steps) {
        g_fakeNow = s.now;
        EXPECT_NEAR(ElapsedTimer(s.command), s.expected, 1e-4f) << "command " << s.command << " at " << s.now;
    }
    // The system clock again.
    SetElapsedTimerClock(nullptr);
    EXPECT_GE(ElapsedTimer(TIMER_GETELAPSEDTIME), 0.0f);
    EXPECT_GE(ElapsedTimer(TIMER_GETELAPSEDTIME), 0.0f);
}

// ---- texture cache ----

TEST_F(SceneTest, TexturesComeFromTheFileOrTheMediaFolderAndOnlyTheLoadedOnesAreCached) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("sub")));
    auto writePng = [&](const QString& name, int width) {
        QImage image(width, 2, QImage::Format_RGBA8888);
        image.fill(Qt::blue);
        ASSERT_TRUE(image.save(dir.filePath(name), "PNG")) << name.toStdString();
    };
    // Names not found as they are are looked for in the media folder; the cache keeps the name as
    // given, exactly, so the file is no longer needed.
    const QString name = QStringLiteral("ketra-test-texture-%1.png").arg(QCoreApplication::applicationPid());
    ASSERT_FALSE(QFile::exists(name));
    writePng(name, 4);
    SetMediaFolder(dir.path());
    const platform::TexturePtr t = LoadTexture(g_device, name);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width(), 4);
    ASSERT_TRUE(QFile::remove(dir.filePath(name)));
    EXPECT_EQ(LoadTexture(g_device, name), t);
    EXPECT_EQ(LoadTexture(g_device, name.toUpper()), nullptr);
    // A file found by its own name (here, relative to the working folder) comes first.
    writePng("here.png", 3);
    writePng("sub/here.png", 7);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.filePath("sub")));
    const platform::TexturePtr here = LoadTexture(g_device, "here.png");
    QDir::setCurrent(previous);
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(here->width(), 7);
    // Empty, missing and broken names give none, and a failure is tried again next time.
    EXPECT_EQ(LoadTexture(g_device, QString()), nullptr);
    EXPECT_EQ(LoadTexture(g_device, "absent.png"), nullptr);
    QFile broken(dir.filePath("broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    EXPECT_EQ(LoadTexture(g_device, "broken.png"), nullptr);
    writePng("absent.png", 2);
    EXPECT_NE(LoadTexture(g_device, "absent.png"), nullptr);
    ClearTextureCache();
    EXPECT_EQ(LoadTexture(g_device, name), nullptr);
    SetMediaFolder(QString());
}
