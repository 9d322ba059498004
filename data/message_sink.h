#pragma once

#include <string>
#include <utility>
#include <vector>

namespace korvan {

// The caption of boxes that have no title of their own.
inline constexpr const char* kDefaultCaption = "Korvan";

// A text the operator must acknowledge: a box in the window, a line on standard error on the
// command line.
struct Message {
    Message() = default;
    // NOLINTNEXTLINE(google-explicit-constructor): a text alone is the common message.
    Message(std::string text, std::string caption = kDefaultCaption, std::string detail = {})
        : text(std::move(text)), caption(std::move(caption)), detail(std::move(detail)) {}

    std::string text;
    std::string caption = kDefaultCaption;
    // What exactly went wrong (a line number, a system reason); empty when the text says all.
    std::string detail;

    bool operator==(const Message&) const = default;
};

// Several reasons as one message detail, one a line.
inline std::string DetailLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : "\n") + line;
    }
    return joined;
}

// Where messages go. Called on the thread that owns the sink; an implementation never waits
// for the operator to acknowledge, so a caller can go on at once.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const Message& message) = 0;
};

}  // namespace korvan
