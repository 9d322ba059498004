#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "data/message_sink.h"
#include "engine/catalogue.h"

namespace korvan {

// How far a transfer has come: `done` of `total` bytes. `code` is WritingProgress or
// ReadingProgress.
struct Progress {
    int code = 0;
    int done = 0;
    int total = 0;
    bool operator==(const Progress&) const = default;
};

// A chip answered Check with `signature`; the console matches it against the catalogue.
struct SignatureRead {
    Signature signature{};
    bool operator==(const SignatureRead&) const = default;
};

// Bytes read from the chip, to be placed into Buffer2 from `address` on.
struct BlockRead {
    std::size_t address = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const BlockRead&) const = default;
};

// The report that ends an operation, or a back-end's Init, and says what the back-end found:
// `code` is the ending event (DataReceivedError, ProgrammingError, SerialInitFailed, ...), which
// names the outcome, and `detail` the line that explains it to the operator.
struct Finished {
    int code = 0;
    std::string detail;
    bool operator==(const Finished&) const = default;
};

// One item of the report path: a Programmer Event code, a message for the operator, or a
// result that travels with the report saying so.
using Report = std::variant<int, Message, Progress, SignatureRead, BlockRead, Finished>;

// The event code a report stands for: its own code, a progress or ending report's code; none for
// the others.
inline std::optional<int> ReportCode(const Report& report) {
    if (const int* code = std::get_if<int>(&report)) {
        return *code;
    }
    if (const Progress* progress = std::get_if<Progress>(&report)) {
        return progress->code;
    }
    if (const Finished* finished = std::get_if<Finished>(&report)) {
        return finished->code;
    }
    return std::nullopt;
}

// The one ordered path by which back-ends, transports and simulators report. Reports may be
// posted from any thread and posting returns at once; the console takes them, on its own
// thread, in the order they were posted. Nothing else is shared between those threads.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Post(Report report) = 0;
    void PostEvent(int code) { Post(Report(code)); }
    void PostMessage(Message message) { Post(Report(std::move(message))); }
};

}  // namespace korvan
