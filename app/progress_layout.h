#pragma once

#include <string>

namespace korvan {

// The progress control's range never changes.
inline constexpr int kProgressMinimum = 0;
inline constexpr int kProgressMaximum = 100;

// Bar width in pixels for `pos` in a client `width` pixels wide: the fraction of the range,
// in floating point, times the width, truncated toward zero. Past 100 it is wider than the
// control (the painter clips it).
int ProgressBarWidth(int pos, int width);
// The caption: `text` when it is set, else the percentage ("%d%%", truncated).
std::string ProgressCaption(const std::string& text, int pos);

}  // namespace korvan
