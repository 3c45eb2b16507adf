// Digit grouping and twips: the numbers every window and list shows and is laid out in.
#include "units/Thousands.h"
#include "units/Twips.h"

#include <gtest/gtest.h>

using namespace ketra;

TEST(Thousands, SeparatorsAndRounding) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0, "0"},
                 {0.4, "0"},
                 {1, "1"},
                 {1.5, "2"},
                 {999, "999"},
                 {1000, "1,000"},
                 {1234567, "1,234,567"},
                 {999999.5, "1,000,000"},
                 {-999, "-999"},
                 {-123456, "-123,456"},
                 {123456789012345.0, "123,456,789,012,345"},
                 {-1.5e19, "-15,000,000,000,000,000,000"}}; // beyond a 64-bit integer
    for (const auto& c : cases)
        EXPECT_EQ(FormatThousands(c.value), QString::fromLatin1(c.text)) << c.value;
    // Whole numbers as QString::number writes them: the sign never gets a comma of its own.
    EXPECT_EQ(GroupThousands(QStringLiteral("-100000")), QStringLiteral("-100,000"));
    EXPECT_EQ(GroupThousands(QString::number(9223372036854775807LL)),
              QStringLiteral("9,223,372,036,854,775,807"));
}

TEST(TwipsAndPixels, FollowTheLogicalDpi) {
    EXPECT_EQ(twipsPerPixel(96), 15);
    EXPECT_EQ(twipsPerPixel(144), 10);
    EXPECT_EQ(twipsPerPixel(0), 15); // no DPI known: 96
    EXPECT_EQ(twipsToPixels(11000, 96), 733);
    EXPECT_EQ(twipsToPixels(1440, 120), 120);
    EXPECT_EQ(pixelsToTwips(733, 96), 10995);
    for (double dpi : {72.0, 96.0, 110.0, 144.0, 192.0})
        for (int px : {0, 1, 7, 640, 1921})
            EXPECT_EQ(twipsToPixels(pixelsToTwips(px, dpi), dpi), px) << dpi << " " << px;
}
