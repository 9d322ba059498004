#pragma once

namespace korvan {

// Receives Programmer Events. PostEvent may be called from any thread and must return at
// once: it queues the code for the console thread, which handles codes in posting order.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void PostEvent(int code) = 0;
};

}  // namespace korvan
