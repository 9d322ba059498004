#pragma once

#include <ostream>
#include <string>

#include "console/basic_view.h"

namespace korvan {

// The console drawn on a terminal: every Status line on `out` (none when quiet), message
// boxes on `err`, and, when `err` is a terminal, the progress caption and percentage as one
// updating line there. It remembers the line that ended a failed sequence.
// Called on the console's thread only, like every view; the command line's own lines are
// written on the same thread.
class TerminalView final : public BasicView {
public:
    TerminalView(std::ostream& out, std::ostream& err, bool showProgress, bool quiet = false);
    ~TerminalView() override;

    void ShowMessage(const Message& message) override;
    void InsertStatusLine(int index, const std::string& text) override;
    void InsertStatusLines(int firstIndex, std::vector<std::string> lines) override;
    void ShowProgress(bool visible) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressPos(int percent) override;
    void RepaintProgress() override;
    void NotifyFailure() override;

    // Ends an updating progress line so that nothing is written over it.
    void EndProgressLine();
    // The command line's own error lines, in order with everything else.
    void PrintError(const std::string& line);
    void Flush();
    // The last report line before the first failure was notified; empty when none was.
    std::string failureLine() const;
    // The text of the last message shown; empty when none was.
    const std::string& lastMessageText() const { return lastMessageText_; }

private:
    void DrawProgress();
    void RememberLine(const std::string& text);

    std::ostream& out_;
    std::ostream& err_;
    const bool showProgress_;
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
