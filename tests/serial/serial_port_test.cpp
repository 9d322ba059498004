#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/serial_port.h"
#include "tests/serial/serial_rig.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A bare pseudo-terminal: the test plays the far end on the master.
struct PtyPair {
    PtyPair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(::grantpt(master), 0);
        EXPECT_EQ(::unlockpt(master), 0);
        path = ::ptsname(master);
        struct termios settings {};
        ::tcgetattr(master, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(master, TCSANOW, &settings);
    }
    ~PtyPair() { ::close(master); }
    void Send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    int master = -1;
    std::string path;
};

struct Chunk {
    Bytes bytes;
    Clock::time_point at;
};

// Records what the monitor hands over. Declared before the port it listens to, so that the
// port (and its monitor) goes first.
class ChunkRecorder final : public SerialReceiver {
public:
    std::vector<Chunk> WaitChunks(std::size_t count, milliseconds timeout = milliseconds(4000)) {
        std::unique_lock lock(lock_);
        arrived_.wait_for(lock, timeout, [&] { return chunks_.size() >= count; });
        return chunks_;
    }
    void OnReceive(const std::uint8_t* buffer, std::size_t count, std::uint64_t) override {
        {
            std::lock_guard lock(lock_);
            chunks_.push_back({Bytes(buffer, buffer + count), Clock::now()});
        }
        arrived_.notify_all();
    }
    void OnAnswerTimeout() override {}

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Chunk> chunks_;
};

// A port on a pseudo-terminal, monitored with 18-byte replies.
struct MonitoredPty {
    explicit MonitoredPty(int baud) {
        EXPECT_TRUE(port.Open(messages, pty.path, 1, baud));
        port.SetReplyLength(18);
        EXPECT_TRUE(port.StartMonitoring(recorder));
    }
    PtyPair pty;
    RecordingMessages messages;
    ChunkRecorder recorder;
    SerialPort port;
};

TEST(SerialDeviceMap, DefaultsToOnBoardPortsAndTakesOverrides) {
    SerialDeviceMap devices;
    EXPECT_EQ(devices.DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(devices.DevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(devices.DevicePath(0), "");
    EXPECT_EQ(devices.DevicePath(5), "");
    devices.Set(3, "/dev/ttyUSB0");
    devices.Set(7, "/dev/ignored");
    EXPECT_EQ(devices.DevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(devices.DevicePath(2), "/dev/ttyS1");
}

TEST(SerialOpenError, NamesTheFixForEachReason) {
    TempDir dir;
    dir.Write("tty", "");
    const std::string device = dir.file("tty");
    // Owned by the root group, or not usable by its group: no group is worth joining.
    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    const std::string denied = SerialOpenError{device, 2, EACCES}.Describe();
    EXPECT_NE(denied.find("Cannot open " + device + " (COM2): Permission denied."), std::string::npos);
    EXPECT_EQ(denied.find("usermod"), std::string::npos) << denied;
    EXPECT_NE(denied.find("udev rule"), std::string::npos) << denied;

    // A group other than root that may read and write it: joining it is the fix.
    struct stat info {};
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    if (info.st_gid == 0) {
        ASSERT_EQ(::chown(device.c_str(), static_cast<uid_t>(-1), 7), 0);  // Debian's lp
    }
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    const struct group* owner = ::getgrgid(info.st_gid);
    const std::string group = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
    const std::string joinable = SerialOpenError{device, 2, EACCES}.Describe();
    EXPECT_NE(joinable.find("group '" + group + "'"), std::string::npos) << joinable;
    EXPECT_NE(joinable.find("usermod -aG " + group), std::string::npos) << joinable;
    EXPECT_NE((SerialOpenError{"/dev/ttyS0", 1, EBUSY}).Describe().find("Another program"),
              std::string::npos);
    EXPECT_NE((SerialOpenError{"/dev/ttyS9", 1, ENOENT}).Describe().find("No such device"),
              std::string::npos);
    EXPECT_EQ((SerialOpenError{"", 7, ENOENT}).Describe(), "COM7 is not a port number from 1 to 4.");
}

TEST(SerialPortTransport, ShortChunkArrivesOneSecondAfterItsLastByte) {
    MonitoredPty line(57600);
    auto& [pty, messages, recorder, port] = line;
    pty.Send({1, 2, 3, 4, 5});
    const auto sent = Clock::now();
    const auto chunks = recorder.WaitChunks(1);
    ASSERT_EQ(chunks.size(), 1U);
    EXPECT_EQ(chunks[0].bytes, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_GE(chunks[0].at - sent, milliseconds(950));
    EXPECT_LT(chunks[0].at - sent, milliseconds(1500));
    EXPECT_TRUE(messages.CaptionedTexts().empty());
    EXPECT_TRUE(port.monitorRunning());
    port.StopMonitoring();
    EXPECT_FALSE(port.monitorRunning());
    EXPECT_TRUE(port.isOpen());
}

TEST(SerialPortTransport, WholeRepliesArriveInReplyLengthChunks) {
    MonitoredPty line(28800);  // a rate without a B-constant
    auto& [pty, messages, recorder, port] = line;
    Bytes two(36);
    for (std::size_t i = 0; i < two.size(); ++i) {
        two[i] = static_cast<std::uint8_t>(i);
    }
    const auto sent = Clock::now();
    pty.Send(two);
    const auto chunks = recorder.WaitChunks(2);
    ASSERT_EQ(chunks.size(), 2U);
    EXPECT_EQ(chunks[0].bytes, Bytes(two.begin(), two.begin() + 18));
    EXPECT_EQ(chunks[1].bytes, Bytes(two.begin() + 18, two.end()));
    EXPECT_LT(chunks[1].at - sent, milliseconds(200));
    EXPECT_TRUE(messages.CaptionedTexts().empty());
}

TEST(SerialPortTransport, WriteDiscardsUnreadInputAndDeliversItsBytes) {
    PtyPair pty;
    RecordingMessages messages;
    ChunkRecorder recorder;
    SerialPort port;
    // Our own handle on the line, opened before the port makes it exclusive: it shows when
    // the bytes have reached the input the write is to purge.
    const int watcher = ::open(pty.path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(watcher, 0);
    ASSERT_TRUE(port.Open(messages, pty.path, 1, 9600));
    port.SetReplyLength(1);
    pty.Send({0xAA, 0xBB});
    struct pollfd arrived {watcher, POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 10000), 1);
    ::close(watcher);
    const Bytes frame = {0x00, 0x21, 0x02};
    EXPECT_EQ(port.WriteBlock(frame.data(), frame.size()), 3U);
    Bytes received(3);
    EXPECT_EQ(::read(pty.master, received.data(), received.size()), 3);
    EXPECT_EQ(received, frame);
    ASSERT_TRUE(port.StartMonitoring(recorder));
    pty.Send({0xCC});
    const auto chunks = recorder.WaitChunks(1);
    ASSERT_EQ(chunks.size(), 1U);
    EXPECT_EQ(chunks[0].bytes, Bytes{0xCC});  // 0xAA and 0xBB were purged by the write
}

TEST(SerialPortTransport, WriteGoesOutWhileTheMonitorIsInsideAChunkAndEndsIt) {
    MonitoredPty line(57600);
    auto& [pty, messages, recorder, port] = line;

    // A far end that trickles a reply one byte every 200 ms: the chunk would last until
    // a second after the last of these bytes if nothing ended it.
    constexpr int kTrickled = 15;
    std::atomic<int> sent{0};
    std::atomic<bool> stopTrickle{false};
    std::thread trickle([&] {
        for (int byte = 1; byte <= kTrickled && !stopTrickle; ++byte) {
            pty.Send({static_cast<std::uint8_t>(byte)});
            ++sent;
            std::this_thread::sleep_for(milliseconds(200));
        }
    });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (sent < 3 && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    const Bytes frame = {0x00, 0x21, 0x00};
    EXPECT_EQ(port.WriteBlock(frame.data(), frame.size()), 3U);
    const int sentWhenWritten = sent;
    Bytes received(3);
    pollfd readable{pty.master, POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 10000), 1);
    EXPECT_EQ(::read(pty.master, received.data(), received.size()), 3);
    const auto firstChunk = recorder.WaitChunks(1);
    stopTrickle = true;
    trickle.join();

    EXPECT_EQ(received, frame);
    EXPECT_LT(sentWhenWritten, kTrickled) << "the write waited for the chunk under way";
    // The write ended the chunk: it holds the bytes before the write, none after it. The byte
    // sent just before the write may not have been read yet; the write purges it.
    ASSERT_FALSE(firstChunk.empty());
    const Bytes& before = firstChunk[0].bytes;
    EXPECT_GE(before.size(), 2U);
    EXPECT_LE(before.size(), static_cast<std::size_t>(sentWhenWritten));
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i], i + 1);
    }
}

TEST(SerialPortTransport, WriteKeepsEarlierBytesTheFarEndHasNotReadYet) {
    PtyPair pty;
    RecordingMessages messages;
    ChunkRecorder recorder;
    SerialPort port;
    ASSERT_TRUE(port.Open(messages, pty.path, 1, 57600));
    const Bytes stop = {0x00};
    const Bytes probe = {0x00, 0x21, 0x00};
    EXPECT_EQ(port.WriteBlock(stop.data(), stop.size()), 1U);
    EXPECT_EQ(port.WriteBlock(probe.data(), probe.size()), 3U);
    // The two writes may arrive in separate reads on a busy machine.
    Bytes received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < 4 && std::chrono::steady_clock::now() < deadline) {
        pollfd readable{pty.master, POLLIN, 0};
        if (::poll(&readable, 1, 100) == 1) {
            std::uint8_t chunk[8];
            const ssize_t count = ::read(pty.master, chunk, sizeof chunk);
            ASSERT_GT(count, 0);
            received.insert(received.end(), chunk, chunk + count);
        }
    }
    EXPECT_EQ(received, (Bytes{0x00, 0x00, 0x21, 0x00}));
}

TEST(SerialPortTransport, PortErrorTextNamesCallReasonAndPort) {
    RecordingMessages messages;
    ChunkRecorder recorder;
    SerialPort port;
    PtyPair pty;
    ASSERT_TRUE(port.Open(messages, pty.path, 3, 9600));
    port.ShowPortError("tcsetattr()", EIO);
    ASSERT_EQ(messages.CaptionedTexts().size(), 1U);
    EXPECT_EQ(messages.CaptionedTexts()[0],
              "Application Error|WARNING:  tcsetattr() Failed with the following error: "
              "\nInput/output error\nPort: 3\n");
}

}  // namespace
}  // namespace korvan::testing
