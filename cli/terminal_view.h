#pragma once

#include <string>

#include "cli/run_output.h"
#include "console/basic_view.h"

namespace korvan {

// The console drawn as lines: every Status line (none when quiet), message boxes, and the
// progress caption and percentage, handed to a RunOutput. It remembers the line that ended
// a failed sequence.
// Called on the console's thread only, like every view; the command line's own lines are
// written on the same thread.
class TerminalView final : public BasicView {
public:
    TerminalView(RunOutput& output, bool quiet = false) : output_(output), quiet_(quiet) {}

    void ShowMessage(const Message& message) override;
    void InsertStatusLine(int index, const std::string& text) override;
    void InsertStatusLines(int firstIndex, std::vector<std::string> lines) override;
    void ShowProgress(bool visible) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressPos(int percent) override;
    void RepaintProgress() override;
    void NotifyFailure() override;

    // Ends an updating progress line so that nothing is written over it.
    void EndProgressLine() {
        progressDrawn_ = false;
        output_.EndProgress();
    }
    // The command line's own error lines, in order with everything else.
    void PrintError(const std::string& line) {
        progressDrawn_ = false;
        output_.ErrorLine(line);
    }
    void Flush() { output_.Flush(); }
    // The last report line before the first failure was notified; empty when none was.
    const std::string& failureLine() const { return failureLine_; }
    // The text of the last message shown; empty when none was.
    const std::string& lastMessageText() const { return lastMessageText_; }

private:
    void DrawProgress();
    void RememberLine(const std::string& text);

    RunOutput& output_;
    const bool quiet_;
    std::string lastReportLine_;
    std::string failureLine_;
    std::string lastMessageText_;
    bool progressVisible_ = false;
    bool progressDrawn_ = false;
    std::string progressText_;
    int progressPos_ = 0;
};

}  // namespace korvan
