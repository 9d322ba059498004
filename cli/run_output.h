#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace korvan {

// Where one site's lines go: its status lines, the lines for the operator's attention
// (messages and the command line's own), and its progress.
class RunOutput {
public:
    virtual ~RunOutput() = default;
    virtual void StatusLine(const std::string& line) = 0;
    virtual void ErrorLine(const std::string& line) = 0;
    virtual void Progress(const std::string& text, int percent) = 0;
    // Ends an updating progress line so that nothing is written over it.
    virtual void EndProgress() = 0;
    virtual void Flush() = 0;
};

// Standard output and error, shared by every site's thread: each line is written whole.
class SharedStreams {
public:
    SharedStreams(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void Out(const std::string& line);
    void Err(const std::string& line);
    void Flush();

private:
    std::mutex lock_;
    std::ostream& out_;
    std::ostream& err_;
};

// A single site as a terminal shows it: status lines on `out`, the rest on `err`, and, when
// `err` is a terminal, the progress caption and percentage as one updating line there.
class TerminalOutput final : public RunOutput {
public:
    TerminalOutput(std::ostream& out, std::ostream& err, bool showProgress)
        : out_(out), err_(err), showProgress_(showProgress) {}
    ~TerminalOutput() override { EndProgress(); }

    void StatusLine(const std::string& line) override;
    void ErrorLine(const std::string& line) override;
    void Progress(const std::string& text, int percent) override;
    void EndProgress() override;
    void Flush() override;

private:
    std::ostream& out_;
    std::ostream& err_;
    const bool showProgress_;
    bool progressDrawn_ = false;
};

// One of several sites: every line starts with the site's label, "[2 /dev/ttyUSB1] ".
// Progress is not drawn: several sites cannot share one updating line.
class SiteOutput final : public RunOutput {
public:
    SiteOutput(SharedStreams& streams, std::string label) : streams_(streams), prefix_("[" + label + "] ") {}

    void StatusLine(const std::string& line) override { streams_.Out(prefix_ + line); }
    void ErrorLine(const std::string& line) override { streams_.Err(prefix_ + line); }
    void Progress(const std::string&, int) override {}
    void EndProgress() override {}
    void Flush() override { streams_.Flush(); }

private:
    SharedStreams& streams_;
    const std::string prefix_;
};

// For line controllers: standard output carries nothing but JSON objects, one a line:
// {"site":1,"line":"..."} for each status line and {"site":1,"progress":42,"text":"..."}
// at most every 100 ms. Lines for the operator go to standard error with the site's label.
class JsonOutput final : public RunOutput {
public:
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    JsonOutput(SharedStreams& streams, int site, std::string label)
        : streams_(streams), site_(site), prefix_("[" + label + "] ") {}

    void StatusLine(const std::string& line) override;
    void ErrorLine(const std::string& line) override { streams_.Err(prefix_ + line); }
    void Progress(const std::string& text, int percent) override;
    void EndProgress() override {}
    void Flush() override { streams_.Flush(); }

private:
    SharedStreams& streams_;
    const int site_;
    const std::string prefix_;
    std::chrono::steady_clock::time_point lastProgress_{};
    bool progressShown_ = false;
};

}  // namespace korvan
