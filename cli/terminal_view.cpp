#include "cli/terminal_view.h"

namespace korvan {

TerminalView::TerminalView(std::ostream& out, std::ostream& err, bool showProgress)
    : out_(out), err_(err), showProgress_(showProgress) {}

TerminalView::~TerminalView() { EndProgressLine(); }

void TerminalView::EndProgressLine() {
    if (progressDrawn_) {
        err_ << "\r\033[K" << std::flush;
        progressDrawn_ = false;
    }
}

void TerminalView::ShowMessage(const std::string& text, const std::string& /*caption*/) {
    EndProgressLine();
    out_ << std::flush;
    err_ << text << '\n' << std::flush;
}

// The Status list only ever grows at its end or starts again empty, so a line inserted at
// the counter is the next line of output.
void TerminalView::InsertStatusLine(int /*index*/, const std::string& text) {
    EndProgressLine();
    out_ << text << '\n';
}

void TerminalView::ShowProgress(bool visible) {
    progressVisible_ = visible;
    if (!visible) {
        EndProgressLine();
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
    if (!showProgress_ || !progressVisible_) {
        return;
    }
    out_ << std::flush;
    err_ << '\r' << progressText_ << ' ' << progressPos_ << "%\033[K" << std::flush;
    progressDrawn_ = true;
}

}  // namespace korvan
