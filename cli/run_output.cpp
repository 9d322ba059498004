#include "cli/run_output.h"

#include <nlohmann/json.hpp>

namespace korvan {

void SharedStreams::Out(const std::string& line) {
    std::lock_guard guard(lock_);
    out_ << line << '\n';
}

void SharedStreams::Err(const std::string& line) {
    std::lock_guard guard(lock_);
    out_ << std::flush;
    err_ << line << '\n' << std::flush;
}

void SharedStreams::Flush() {
    std::lock_guard guard(lock_);
    out_ << std::flush;
}

void TerminalOutput::StatusLine(const std::string& line) {
    EndProgress();
    out_ << line << '\n';
}

void TerminalOutput::ErrorLine(const std::string& line) {
    EndProgress();
    out_ << std::flush;
    err_ << line << '\n' << std::flush;
}

void TerminalOutput::Progress(const std::string& text, int percent) {
    if (!showProgress_) {
        return;
    }
    out_ << std::flush;
    err_ << '\r' << text << ' ' << percent << "%\033[K" << std::flush;
    progressDrawn_ = true;
}

void TerminalOutput::EndProgress() {
    if (progressDrawn_) {
        err_ << "\r\033[K" << std::flush;
        progressDrawn_ = false;
    }
}

void TerminalOutput::Flush() { out_ << std::flush; }

void JsonOutput::StatusLine(const std::string& line) {
    nlohmann::ordered_json object;
    object["site"] = site_;
    object["line"] = line;
    streams_.Out(object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void JsonOutput::Progress(const std::string& text, int percent) {
    const auto now = std::chrono::steady_clock::now();
    if (progressShown_ && now - lastProgress_ < kProgressInterval) {
        return;
    }
    progressShown_ = true;
    lastProgress_ = now;
    nlohmann::ordered_json object;
    object["site"] = site_;
    object["progress"] = percent;
    object["text"] = text;
    streams_.Out(object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace korvan
