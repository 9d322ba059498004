#pragma once

#include <variant>

#include "data/message_sink.h"

namespace korvan {

// One item of the report path: a Programmer Event code or a message for the operator.
using Report = std::variant<int, Message>;

// The one ordered path by which back-ends, transports and simulators report: event codes and
// messages. Both may be posted from any thread and return at once; the console takes them,
// on its own thread, in the order they were posted.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void PostEvent(int code) = 0;
    virtual void PostMessage(Message message) = 0;
};

}  // namespace korvan
