#include "cli/terminal_view.h"

namespace korvan {

namespace {

// The frame around a verification report ("-----Verification Done-----") reports nothing.
bool IsFrameLine(const std::string& text) { return text.rfind("-----", 0) == 0; }

}  // namespace

TerminalView::TerminalView(std::ostream& out, std::ostream& err, bool showProgress, bool quiet)
    : out_(out), err_(err), showProgress_(showProgress && !quiet), quiet_(quiet) {}

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

std::string TerminalView::failureLine() const {
    return failureLine_;
}

TerminalView::~TerminalView() { EndProgressLine(); }

void TerminalView::EndProgressLine() {
    if (progressDrawn_) {
        err_ << "\r\033[K" << std::flush;
        progressDrawn_ = false;
    }
}

void TerminalView::PrintError(const std::string& line) {
    EndProgressLine();
    out_ << std::flush;
    err_ << line << '\n' << std::flush;
}

void TerminalView::Flush() {
    out_ << std::flush;
}

void TerminalView::ShowMessage(const Message& message) {
    lastMessageText_ = message.text;
    EndProgressLine();
    out_ << std::flush;
    err_ << message.text << '\n';
    if (!message.detail.empty()) {
        err_ << message.detail << '\n';
    }
    err_ << std::flush;
}

// The Status list only ever grows at its end or starts again empty, so a line inserted at
// the counter is the next line of output.
void TerminalView::InsertStatusLine(int /*index*/, const std::string& text) {
    RememberLine(text);
    if (quiet_) {
        return;
    }
    EndProgressLine();
    out_ << text << '\n';
}

void TerminalView::InsertStatusLines(int /*firstIndex*/, std::vector<std::string> lines) {
    if (!lines.empty()) {
        RememberLine(lines.back());
    }
    if (quiet_) {
        return;
    }
    EndProgressLine();
    for (const std::string& line : lines) {
        out_ << line << '\n';
    }
}

void TerminalView::ShowProgress(bool visible) {
    progressVisible_ = visible;
    if (!visible) {
        EndProgressLine();
    }
}

void TerminalView::SetProgressText(const std::string& text) {
    progressText_ = text;
}

void TerminalView::SetProgressPos(int percent) {
    if (percent != progressPos_ || !progressDrawn_) {
        progressPos_ = percent;
        DrawProgress();
    }
}

void TerminalView::RepaintProgress() {
    DrawProgress();
}

void TerminalView::DrawProgress() {
    if (!showProgress_ || !progressVisible_) {
        return;
    }
    out_ << std::flush;
    err_ << '\r' << progressText_ << ' ' << progressPos_ << "%\033[K" << std::flush;
    progressDrawn_ = true;
}

}  // namespace korvan
