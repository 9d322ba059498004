#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include "console/basic_view.h"

namespace korvan {

// The console drawn on a terminal: every Status line on `out`, message boxes on `err`, and,
// when `err` is a terminal, the progress caption and percentage as one updating line there.
// Back-end threads may show messages while the console thread prints: one lock orders them.
class TerminalView final : public BasicView {
public:
    TerminalView(std::ostream& out, std::ostream& err, bool showProgress);
    ~TerminalView() override;

    void ShowMessage(const Message& message) override;
    void InsertStatusLine(int index, const std::string& text) override;
    void InsertStatusLines(int firstIndex, const std::vector<std::string>& lines) override;
    void ShowProgress(bool visible) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressPos(int percent) override;
    void RepaintProgress() override;

    // Ends an updating progress line so that nothing is written over it.
    void EndProgressLine();
    // The command line's own error lines, in order with everything else.
    void PrintError(const std::string& line);
    void Flush();

private:
    void DrawProgress();
    void EndProgressLineLocked();

    std::mutex lock_;
    std::ostream& out_;
    std::ostream& err_;
    const bool showProgress_;
    bool progressVisible_ = false;
    bool progressDrawn_ = false;
    std::string progressText_;
    int progressPos_ = 0;
};

}  // namespace korvan
