#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "data/message_sink.h"

namespace korvan {

// Why a port could not be opened: the device, the errno and a line for the operator.
struct SerialOpenError {
    std::string devicePath;
    int comPort = 0;
    int errorNumber = 0;

    // One status line: device, reason and, where there is one, the fix.
    std::string Describe() const;
};

// Whoever listens to a transport: called on the transport's monitor thread.
class SerialReceiver {
public:
    virtual ~SerialReceiver() = default;
    // One received chunk (count may be short). `writesBefore` is how many writes had gone out
    // when the chunk began, so a chunk can be told apart from the answer to anything sent after it.
    virtual void OnReceive(const std::uint8_t* buffer, std::size_t count, std::uint64_t writesBefore) = 0;
    // The deadline set by ArmAnswerDeadline passed with no DisarmAnswerDeadline in between.
    virtual void OnAnswerTimeout() = 0;
};

// The line the serial back-end talks over. A monitor thread hands incoming bytes to the
// receiver in chunks of the reply length. Writes never wait for a chunk being received:
// a write ends the chunk under way, which reaches the receiver as it is.
class SerialTransport {
public:
    virtual ~SerialTransport() = default;

    // Opens and configures `devicePath`. False when the device could not be opened
    // (lastOpenError() tells why; no message is shown). A failing configuration step shows its
    // error on `messages` but leaves the port open. A running monitor is stopped first.
    virtual bool Open(MessageSink& messages, const std::string& devicePath, int portNumber, int baud) = 0;
    virtual std::optional<SerialOpenError> lastOpenError() const = 0;
    // Starts the monitor thread, which calls `receiver` until StopMonitoring. True when it runs.
    virtual bool StartMonitoring(SerialReceiver& receiver) = 0;
    // Ends the monitor thread and waits for it; the receiver is not called afterwards.
    virtual void StopMonitoring() = 0;
    // Closes the device; the monitor must be stopped first.
    virtual void Close() = 0;

    virtual void SetReplyLength(std::size_t length) = 0;
    virtual std::size_t replyLength() const = 0;

    // Discards unread input, writes `count` bytes and waits until they have left. Returns the
    // number of bytes written.
    virtual std::size_t WriteBlock(const std::uint8_t* data, std::size_t count) = 0;
    // How many writes have gone out since the port was opened.
    virtual std::uint64_t WritesSoFar() const = 0;

    // The monitor thread watches for this deadline as well as for bytes.
    virtual void ArmAnswerDeadline(std::chrono::milliseconds fromNow) = 0;
    virtual void DisarmAnswerDeadline() = 0;
};

}  // namespace korvan
