#include "cli/terminal_view.h"

#include "console/console.h"

namespace korvan {

void TerminalView::RememberLine(const std::string& text) {
    if (!IsFrameLine(text)) {
        lastReportLine_ = text;
    }
}

void TerminalView::NotifyFailure() {
    if (failureLine_.empty()) {
        failureLine_ = lastReportLine_;
    }
}

void TerminalView::ShowMessage(const Message& message) {
    lastMessageText_ = message.text;
    progressDrawn_ = false;
    output_.ErrorLine(message.text);
    if (!message.detail.empty()) {
        output_.ErrorLine(message.detail);
    }
}

// The Status list only ever grows at its end or starts again empty, so a line inserted at
// the counter is the next line of output.
void TerminalView::InsertStatusLine(int /*index*/, const std::string& text) {
    RememberLine(text);
    progressDrawn_ = false;
    if (!quiet_) {
        output_.StatusLine(text);
    }
}

void TerminalView::InsertStatusLines(int /*firstIndex*/, std::vector<std::string> lines) {
    if (!lines.empty()) {
        RememberLine(lines.back());
    }
    progressDrawn_ = false;
    if (quiet_) {
        return;
    }
    for (const std::string& line : lines) {
        output_.StatusLine(line);
    }
}

void TerminalView::ShowProgress(bool visible) {
    progressVisible_ = visible;
    if (!visible) {
        output_.EndProgress();
        progressDrawn_ = false;
    }
}

void TerminalView::SetProgressText(const std::string& text) { progressText_ = text; }

void TerminalView::SetProgressPos(int percent) {
    if (percent != progressPos_ || !progressDrawn_) {
        progressPos_ = percent;
        DrawProgress();
    }
}

void TerminalView::RepaintProgress() { DrawProgress(); }

void TerminalView::DrawProgress() {
    if (quiet_ || !progressVisible_) {
        return;
    }
    output_.Progress(progressText_, progressPos_);
    progressDrawn_ = true;
}

}  // namespace korvan
