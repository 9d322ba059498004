#include "serial/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/device_group.h"
#include "serial/custom_baud.h"

namespace korvan {

namespace {

std::string ErrorText(int errorNumber) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in `buffer`.
    return ::strerror_r(errorNumber, buffer, sizeof buffer);
}

// The B-constant for the rates the programmer speaks; 0 for rates that need termios2.
speed_t StandardSpeed(int baud) {
    switch (baud) {
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return 0;
    }
}

void DrainWakeFd(int wakeFd) {
    std::uint64_t count = 0;
    while (::read(wakeFd, &count, sizeof count) > 0) {
    }
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

SerialDeviceMap::SerialDeviceMap() {
    for (int port = kFirstComPort; port <= kLastComPort; ++port) {
        paths_[static_cast<std::size_t>(port - 1)] = "/dev/ttyS" + std::to_string(port - 1);
    }
}

void SerialDeviceMap::Set(int comPort, std::string devicePath) {
    if (comPort >= kFirstComPort && comPort <= kLastComPort) {
        paths_[static_cast<std::size_t>(comPort - 1)] = std::move(devicePath);
    }
}

std::string SerialDeviceMap::DevicePath(int comPort) const {
    if (comPort < kFirstComPort || comPort > kLastComPort) {
        return {};
    }
    return paths_[static_cast<std::size_t>(comPort - 1)];
}

std::string SerialOpenError::Describe() const {
    if (devicePath.empty()) {
        return "COM" + std::to_string(comPort) + " is not a port number from 1 to 4.";
    }
    std::string line = "Cannot open " + devicePath + " (COM" + std::to_string(comPort) +
                       "): " + ErrorText(errorNumber) + ".";
    switch (errorNumber) {
        case EACCES:
        case EPERM: {
            const std::string group = JoinableGroup(devicePath);
            if (group.empty()) {
                line += " No group you could join may use it: add a udev rule that gives the device to a"
                        " group of yours with mode 0660, or change the device's mode.";
            } else {
                line += " Add your user to the group '" + group +
                        "' that owns the device (usermod -aG " + group +
                        " USER), then log in again.";
            }
            break;
        }
        case EBUSY:
        case EWOULDBLOCK:
            line += " Another program holds the port; close it and try again.";
            break;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            line += " No such device: connect the programmer or choose another port.";
            break;
        case ENOTTY:
            line += " This is not a serial device.";
            break;
        default:
            break;
    }
    return line;
}

SerialPort::SerialPort() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialPort::~SerialPort() {
    StopMonitoring();
    Close();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void SerialPort::Close() {
    std::lock_guard lock(writeLock_);
    const int fd = fd_.exchange(-1);
    if (fd >= 0) {
        // The exclusive mode outlives our handle while another one stays open (a simulator
        // keeps its own): cleared, so the next program, or our next back-end, can open it.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

bool SerialPort::Open(MessageSink& messages, const std::string& devicePath, int portNumber, int baud) {
    StopMonitoring();
    messages_ = &messages;
    portNumber_ = portNumber;
    Close();

    std::unique_lock lock(writeLock_);
    openError_.reset();
    if (devicePath.empty()) {
        openError_ = SerialOpenError{devicePath, portNumber, ENOENT};
        return false;
    }
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        openError_ = SerialOpenError{devicePath, portNumber, errno};
        return false;
    }
    // Regular files and pipes would poll readable forever; only terminals are ports.
    if (!::isatty(fd)) {
        ::close(fd);
        openError_ = SerialOpenError{devicePath, portNumber, ENOTTY};
        return false;
    }
    // TIOCEXCL keeps other programs out, but not root; the advisory lock covers that too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        openError_ = SerialOpenError{devicePath, portNumber, reason};
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;

    // Configuration steps stop at the first failure; the port still counts as open.
    std::string failedStep;
    int failure = 0;
    struct termios settings {};
    const speed_t speed = StandardSpeed(baud);
    if (::tcgetattr(fd, &settings) != 0) {
        failedStep = "tcgetattr()";
        failure = errno;
    } else {
        ::cfmakeraw(&settings);
        settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        // With VMIN 1 an empty non-blocking read says EAGAIN; 0 then only means hang-up.
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        if (speed != 0) {
            ::cfsetispeed(&settings, speed);
            ::cfsetospeed(&settings, speed);
        }
        if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
            failedStep = "tcsetattr()";
            failure = errno;
        } else if (speed == 0 && SetCustomBaud(fd, baud) != 0) {
            failedStep = "ioctl(TCSETS2)";
            failure = errno;
        }
    }
    if (failedStep.empty()) {
        // Pseudo-terminals have no modem lines; only a real line gets RTS raised.
        const int rts = TIOCM_RTS;
        if (::ioctl(fd, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL) {
            failedStep = "ioctl(TIOCMBIS)";
            failure = errno;
        }
        // USB adapters otherwise batch input for up to 16 ms per chunk.
        struct serial_struct serial {};
        if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags |= ASYNC_LOW_LATENCY;
            ::ioctl(fd, TIOCSSERIAL, &serial);
        }
    }
    ::tcflush(fd, TCIOFLUSH);
    lock.unlock();
    if (!failedStep.empty()) {
        ShowPortError(failedStep, failure);
    }
    return true;
}

std::optional<SerialOpenError> SerialPort::lastOpenError() const {
    std::lock_guard lock(writeLock_);
    return openError_;
}

bool SerialPort::StartMonitoring(SerialReceiver& receiver) {
    if (monitor_.joinable()) {
        return true;
    }
    if (wakeFd_ < 0) {
        return false;
    }
    {
        // Purged before the thread runs, so that nothing written from now on is lost.
        std::lock_guard lock(writeLock_);
        if (fd_ >= 0) {
            ::tcflush(fd_, TCIOFLUSH);
        }
    }
    shutdown_ = false;
    threadRunning_ = true;
    try {
        monitor_ = std::thread([this, &receiver] { MonitorLoop(receiver); });
    } catch (const std::system_error&) {
        threadRunning_ = false;
        return false;
    }
    return true;
}

void SerialPort::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void SerialPort::SignalShutdown() {
    shutdown_ = true;
    Wake();
}

void SerialPort::StopMonitoring() {
    if (!monitor_.joinable()) {
        return;
    }
    SignalShutdown();
    monitor_.join();
    shutdown_ = false;
}

std::size_t SerialPort::WriteBlock(const std::uint8_t* data, std::size_t count) {
    std::optional<std::pair<std::string, int>> failure;
    std::size_t written = 0;
    {
        std::lock_guard lock(writeLock_);
        const int fd = fd_;
        if (fd < 0) {
            return 0;
        }
        MarkWriteStart(fd);
        failure = WriteBeforeDeadline(fd, data, count, written);
        if (!failure && ::tcdrain(fd) != 0) {
            failure = std::pair<std::string, int>{"tcdrain()", errno};
        }
    }
    if (failure) {
        ShowPortError(failure->first, failure->second);
    }
    return written;
}

void SerialPort::MarkWriteStart(int fd) {
    std::lock_guard edge(chunkEdgeLock_);
    // Input only: the last write was drained, so output holds nothing of ours on a real line,
    // while on a pseudo-terminal an output flush drops what the far end has not read yet.
    ::tcflush(fd, TCIFLUSH);
    ++writesSent_;
    if (inChunk_) {
        Wake();  // the chunk under way ends now, before any answer to this write can join it
    }
}

std::optional<std::pair<std::string, int>> SerialPort::WriteBeforeDeadline(int fd, const std::uint8_t* data,
                                                                          std::size_t count, std::size_t& written) {
    const auto deadline =
        std::chrono::steady_clock::now() + kChunkBaseTimeout + kChunkBaseTimeout * static_cast<int>(count);
    while (written < count) {
        const ssize_t result = ::write(fd, data + written, count - written);
        if (result > 0) {
            written += static_cast<std::size_t>(result);
            continue;
        }
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0 && errno != EAGAIN) {
            return std::pair<std::string, int>{"write()", errno};
        }
        struct pollfd writable {fd, POLLOUT, 0};
        if (::poll(&writable, 1, MillisecondsUntil(deadline)) <= 0) {
            return std::pair<std::string, int>{"write()", ETIMEDOUT};
        }
    }
    return std::nullopt;
}

void SerialPort::ShowPortError(const std::string& what, int errorNumber) const {
    MessageSink* messages = messages_;
    if (messages == nullptr) {
        return;
    }
    char text[1024];
    std::snprintf(text, sizeof text, "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                  what.c_str(), ErrorText(errorNumber).c_str(), portNumber_.load());
    messages->ShowMessage({text, "Application Error"});
}

void SerialPort::ArmAnswerDeadline(std::chrono::milliseconds fromNow) {
    {
        std::lock_guard lock(deadlineLock_);
        answerDeadline_ = std::chrono::steady_clock::now() + fromNow;
    }
    Wake();
}

void SerialPort::DisarmAnswerDeadline() {
    std::lock_guard lock(deadlineLock_);
    answerDeadline_.reset();
}

int SerialPort::TimeUntilDeadlineOrFire(SerialReceiver& receiver) {
    for (;;) {
        {
            std::lock_guard lock(deadlineLock_);
            if (!answerDeadline_) {
                return -1;
            }
            if (std::chrono::steady_clock::now() < *answerDeadline_) {
                return std::max(1, MillisecondsUntil(*answerDeadline_));
            }
            answerDeadline_.reset();
        }
        receiver.OnAnswerTimeout();
    }
}

void SerialPort::MonitorLoop(SerialReceiver& receiver) {
    std::vector<std::uint8_t> chunk;
    bool watchPort = fd_ >= 0;
    while (!shutdown_) {
        const int timeout = TimeUntilDeadlineOrFire(receiver);
        struct pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int ready = ::poll(waits, watchPort ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            ShowPortError("poll()", errno);
            break;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            DrainWakeFd(wakeFd_);
            continue;  // shutdown, or a new answer deadline to wait for
        }
        if (!watchPort || waits[1].revents == 0) {
            continue;
        }
        // Receive step: chunks until nothing is waiting.
        bool hungUp = (waits[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        for (;;) {
            std::size_t received = 0;
            bool stop = false;
            const bool portAlive = ReceiveChunk(chunk, received, stop);
            if (received > 0) {
                receiver.OnReceive(chunk.data(), received, writesBeforeChunk_);
                hungUp = false;
            }
            if (!portAlive) {
                hungUp = true;
            }
            if (stop || received == 0 || !portAlive || shutdown_) {
                break;
            }
        }
        if (hungUp && !shutdown_) {
            // The device went away (USB unplugged, the far end closed): nothing more will
            // arrive, and polling a hung-up line would spin.
            ShowPortError("read()", EIO);
            watchPort = false;
        }
    }
    threadRunning_ = false;
}

bool SerialPort::ReceiveChunk(std::vector<std::uint8_t>& chunk, std::size_t& received, bool& stop) {
    const int fd = fd_;
    {
        std::lock_guard edge(chunkEdgeLock_);
        int waiting = 0;
        if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0) {
            return false;
        }
        if (waiting <= 0) {
            return true;
        }
        writesBeforeChunk_ = writesSent_;
        inChunk_ = true;
    }
    const std::size_t wanted = replyLength_;
    chunk.resize(wanted + 128);
    const auto start = std::chrono::steady_clock::now();
    const auto totalDeadline = start + kChunkBaseTimeout + kChunkBaseTimeout * static_cast<int>(wanted);
    auto lastByte = start;
    bool alive = true;
    while (received < wanted) {
        const ReadStep step = ReadSome(fd, chunk.data(), wanted, received);
        if (step == ReadStep::Read) {
            lastByte = std::chrono::steady_clock::now();
            continue;
        }
        if (step != ReadStep::Empty) {
            alive = step != ReadStep::HungUp;
            break;
        }
        const auto deadline = std::min(lastByte + kInterByteTimeout, totalDeadline);
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        struct pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        if (::poll(waits, 2, MillisecondsUntil(deadline)) < 0 && errno != EINTR) {
            alive = false;
            break;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            // Drained before the flag is read: a shutdown signalled in between is not lost.
            DrainWakeFd(wakeFd_);
            if (shutdown_) {
                stop = true;
                break;
            }
            // A write (seen at the next read step) or a re-armed answer deadline, which the
            // outer loop picks up after this chunk.
        }
        if ((waits[1].revents & (POLLHUP | POLLERR)) != 0 && (waits[1].revents & POLLIN) == 0) {
            alive = false;
            break;
        }
    }
    std::lock_guard edge(chunkEdgeLock_);
    inChunk_ = false;
    return alive;
}

SerialPort::ReadStep SerialPort::ReadSome(int fd, std::uint8_t* into, std::size_t wanted, std::size_t& received) {
    std::lock_guard edge(chunkEdgeLock_);
    if (writesSent_ != writesBeforeChunk_) {
        return ReadStep::Cut;
    }
    const ssize_t result = ::read(fd, into + received, wanted - received);
    if (result > 0) {
        received += static_cast<std::size_t>(result);
        return ReadStep::Read;
    }
    if (result == 0 || (errno != EAGAIN && errno != EINTR)) {
        return ReadStep::HungUp;
    }
    return ReadStep::Empty;
}

}  // namespace korvan
