#pragma once

#include <string>
#include <vector>

#include "console/view.h"

namespace korvan {

// The frame around a verification report ("-----Verification Done-----") reports nothing.
inline bool IsFrameLine(const std::string& text) { return text.rfind("-----", 0) == 0; }

// The Status list and the progress bar as the operator sees them: which line comes next,
// which page is in front, and the transfer caption. Keeps the count; the view only draws.
class StatusPresenter {
public:
    explicit StatusPresenter(View& view) : view_(view) {}

    // Adds one line at the end, bringing the Status page to the front first.
    void AddStatus(const std::string& text);
    // Adds many lines in one call (a verification report), without a redraw for each.
    void AddLines(std::vector<std::string> lines);
    // Empties the list; the next line is the first.
    void Clear();
    void ShowPage(int page);
    int currentPage() const { return currentPage_; }
    int lineCount() const { return lineCounter_; }
    // The last line that is not a frame, for the record of a failed run.
    const std::string& lastLine() const { return lastLine_; }

    // "LABEL: last/final" and the bar for `position` of `total` bytes transferred.
    void ShowTransfer(const char* label, int position, int total);
    // The bar at full with the caption that ends a transfer.
    void FinishTransfer(const char* caption);

private:
    View& view_;
    int lineCounter_ = 0;
    int currentPage_ = -1;  // not the Status page, so the first line brings it to the front
    std::string lastLine_;
};

}  // namespace korvan
