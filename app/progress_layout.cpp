#include "app/progress_layout.h"

#include <cmath>
#include <limits>

namespace korvan {

namespace {

// The position as a fraction of the range, in floating point as the control always computed
// it: the percentage caption of 29, 57 and 58 therefore reads one less (0.29 * 100 < 29).
double ProgressFraction(int pos) {
    return static_cast<double>(pos - kProgressMinimum) / (kProgressMaximum - kProgressMinimum);
}

// Truncation toward zero, held inside int so that absurd positions cannot overflow.
int TruncateToInt(double value) {
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (value <= lowest) return std::numeric_limits<int>::min();
    if (value >= highest) return std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(value));
}

}  // namespace

int ProgressBarWidth(int pos, int width) {
    return TruncateToInt(ProgressFraction(pos) * width);
}

std::string ProgressCaption(const std::string& text, int pos) {
    if (!text.empty()) return text;
    return std::to_string(TruncateToInt(ProgressFraction(pos) * 100)) + "%";
}

}  // namespace korvan
