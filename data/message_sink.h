#pragma once

#include <string>

namespace korvan {

// Where texts that the operator must acknowledge go: a modal box in the window, standard
// error on the command line. May be called from any thread; the window marshals to its own.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

// The caption of boxes that have no title of their own.
inline constexpr const char* kDefaultCaption = "Korvan";

}  // namespace korvan
