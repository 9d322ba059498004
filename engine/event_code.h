#pragma once

namespace korvan {

// The one thing a back-end reports: a code, posted to the console's event queue.
// Numbers are fixed; 8 and 21 upwards are unassigned.
enum EventCode : int {
    SerialInitFailed = 0,
    ParallelInitFailed = 1,
    SerialInitDone = 2,
    SerialNotInitialized = 3,
    ParallelInitDone = 4,
    ProgrammerReady = 5,
    ProgrammerUnusable = 6,
    DataReceivedError = 7,
    EraseDone = 9,
    WriteStarted = 10,
    WritingProgress = 11,
    WriteDone = 12,
    ProgrammingError = 13,
    ReadStarted = 14,
    ReadingProgress = 15,
    ReadDone = 16,
    LockBitDone = 17,
    ProgrammerError = 18,
    ChipIdentified = 19,
    ChipNotDetected = 20,
};

inline constexpr int kLastEventCode = ChipNotDetected;

// The code's name for logs and tests; "Event<n>" for unassigned codes.
const char* EventName(int code);

}  // namespace korvan
