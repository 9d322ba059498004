#include "console/status_presenter.h"

#include <algorithm>
#include <cstdio>

namespace korvan {
namespace {

// The bar position for `position` of `total` bytes. The caption counts from 0 to total - 1,
// so a one-byte transfer has no range to divide by: it is either not started or done. Blocks
// of 16 bytes can end past the total; the bar stops at full.
int ProgressPercent(int position, int total) {
    if (total <= 1) {
        return position > 0 ? 100 : 0;
    }
    const long long percent = static_cast<long long>(position) * 100 / (total - 1);
    return static_cast<int>(std::clamp(percent, 0LL, 100LL));
}

// "LABEL: last/final" as byte indexes: the last byte transferred and the last one to come,
// never below 0 nor past the end (a block can end past the total, and nothing may be to come).
std::string ProgressCaption(const char* label, int position, int total) {
    const int last = std::max(total - 1, 0);
    char caption[64];
    // The caption is shown upper-cased: "Writing: %04x/%04x" reads WRITING: 002F/003F.
    std::snprintf(caption, sizeof caption, "%s: %04X/%04X", label, static_cast<unsigned>(std::clamp(position - 1, 0, last)),
                  static_cast<unsigned>(last));
    return caption;
}

}  // namespace

void StatusPresenter::ShowPage(int page) {
    currentPage_ = page;
    view_.ShowPage(page);
}

void StatusPresenter::AddStatus(const std::string& text) {
    if (currentPage_ != StatusPage) {
        ShowPage(StatusPage);
    }
    view_.InsertStatusLine(lineCounter_, text);
    view_.SelectStatusLine(lineCounter_);
    ++lineCounter_;
    if (!IsFrameLine(text)) {
        lastLine_ = text;
    }
}

void StatusPresenter::AddLines(std::vector<std::string> lines) {
    if (lines.empty()) {
        return;
    }
    const int count = static_cast<int>(lines.size());
    view_.InsertStatusLines(lineCounter_, std::move(lines));
    lineCounter_ += count;
}

void StatusPresenter::Clear() {
    view_.ClearStatusLines();
    lineCounter_ = 0;
}

void StatusPresenter::ShowTransfer(const char* label, int position, int total) {
    view_.ShowProgress(true);
    view_.SetProgressText(ProgressCaption(label, position, total));
    view_.SetProgressPos(ProgressPercent(position, total));
}

void StatusPresenter::FinishTransfer(const char* caption) {
    view_.SetProgressPos(100);
    view_.SetProgressText(caption);
    view_.RepaintProgress();
}

}  // namespace korvan
