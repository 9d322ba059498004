#include "app/progress_layout.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvan {
namespace {

TEST(ProgressLayout, BarWidthIsTheTruncatedFractionOfTheWidth) {
    EXPECT_EQ(ProgressBarWidth(0, 201), 0);
    EXPECT_EQ(ProgressBarWidth(50, 201), 100);  // 100.5
    EXPECT_EQ(ProgressBarWidth(100, 201), 201);
    EXPECT_EQ(ProgressBarWidth(1, 99), 0);  // 0.99
    EXPECT_EQ(ProgressBarWidth(2, 50), 1);
    EXPECT_EQ(ProgressBarWidth(3, 50), 1);  // the same pixel as 2: no repaint between them
    EXPECT_EQ(ProgressBarWidth(50, 0), 0);
}

TEST(ProgressLayout, BarWidthOutsideTheRange) {
    EXPECT_EQ(ProgressBarWidth(150, 200), 300);  // past the right edge; the painter clips it
    EXPECT_EQ(ProgressBarWidth(-1, 99), 0);      // -0.99 truncates toward zero
    EXPECT_EQ(ProgressBarWidth(-10, 200), -20);
    EXPECT_EQ(ProgressBarWidth(INT_MAX, 1000), INT_MAX);
    EXPECT_EQ(ProgressBarWidth(INT_MIN, 1000), INT_MIN);
}

TEST(ProgressLayout, CaptionIsTheTextOrThePercentage) {
    EXPECT_EQ(ProgressCaption("", 0), "0%");
    EXPECT_EQ(ProgressCaption("", 100), "100%");
    EXPECT_EQ(ProgressCaption("", 150), "150%");
    EXPECT_EQ(ProgressCaption("", -5), "-5%");
    EXPECT_EQ(ProgressCaption("Reading Done", 40), "Reading Done");
    EXPECT_EQ(ProgressCaption("WRITING: 0A00/1000", 62), "WRITING: 0A00/1000");
    // The percentage comes from the floating-point fraction: 0.29 * 100 falls just short of 29.
    EXPECT_EQ(ProgressCaption("", 29), "28%");
    EXPECT_EQ(ProgressCaption("", 30), "30%");
}

}  // namespace
}  // namespace korvan
