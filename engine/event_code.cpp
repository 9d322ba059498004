#include "engine/event_code.h"

#include <array>

namespace korvan {

const char* EventName(int code) {
    static constexpr std::array<const char*, kLastEventCode + 1> names = {
        "SerialInitFailed", "ParallelInitFailed", "SerialInitDone", "SerialNotInitialized",
        "ParallelInitDone", "ProgrammerReady", "ProgrammerUnusable", "DataReceivedError",
        "Event8", "EraseDone", "WriteStarted", "WritingProgress", "WriteDone",
        "ProgrammingError", "ReadStarted", "ReadingProgress", "ReadDone", "LockBitDone",
        "ProgrammerError", "ChipIdentified", "ChipNotDetected",
    };
    if (code < 0 || code > kLastEventCode) {
        return "EventUnassigned";
    }
    return names[static_cast<std::size_t>(code)];
}

}  // namespace korvan
