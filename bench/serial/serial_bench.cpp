// Time per 16-byte block for a 64 KiB write and read through the real serial back-end and
// the simulated programmer, against a bare pseudo-terminal ping-pong of the same sizes.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/event_code.h"
#include "engine/event_sink.h"
#include "engine/programmer_manager.h"
#include "serial/serial_programmer.h"
#include "sim/serial/simulated_serial_programmer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlocks = 65536 / 16;

class WaitingEvents : public korvan::EventSink {
public:
    void Post(korvan::Report report) override {
        const std::optional<int> code = korvan::ReportCode(report);
        {
            std::lock_guard lock(lock_);
            if (code) {
                codes_.push_back(*code);
            } else {
                results_.push_back(std::move(report));
            }
        }
        posted_.notify_all();
    }
    // On the bench's thread, as a console would: the results reported so far reach the manager.
    void HandResultsTo(korvan::ProgrammerManager& manager) {
        std::vector<korvan::Report> results;
        {
            std::lock_guard lock(lock_);
            results.swap(results_);
        }
        for (const korvan::Report& result : results) {
            manager.TakeResult(result);
        }
    }
    // True when `code` arrives within ten seconds.
    bool WaitFor(int code) {
        std::unique_lock lock(lock_);
        return posted_.wait_for(lock, std::chrono::seconds(10), [&] {
            for (; seen_ < codes_.size(); ++seen_) {
                if (codes_[seen_] == code) {
                    ++seen_;
                    return true;
                }
            }
            return false;
        });
    }

private:
    std::mutex lock_;
    std::condition_variable posted_;
    std::vector<int> codes_;
    std::vector<korvan::Report> results_;
    std::size_t seen_ = 0;
};

class PtyFactory : public korvan::BackendFactory {
public:
    explicit PtyFactory(std::string path) : path_(std::move(path)) {}
    std::unique_ptr<korvan::Backend> Create(int) override {
        korvan::SerialDeviceMap devices;
        devices.Set(1, path_);
        return std::make_unique<korvan::SerialProgrammer>(devices);
    }

private:
    std::string path_;
};

double MicrosecondsPer(Clock::duration elapsed, int count) {
    return std::chrono::duration<double, std::micro>(elapsed).count() / count;
}

bool ReadExactly(int fd, std::uint8_t* data, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t result = ::read(fd, data + got, count - got);
        if (result <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(result);
    }
    return true;
}

// Round trip of `out` bytes host to far end and `back` bytes in return, per exchange.
double PingPong(std::size_t out, std::size_t back) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return -1;
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    struct termios settings {};
    ::tcgetattr(slave, &settings);
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    ::tcsetattr(slave, TCSANOW, &settings);

    std::thread farEnd([&] {
        std::vector<std::uint8_t> request(out), answer(back, 0x01);
        for (int i = 0; i < kBlocks; ++i) {
            if (!ReadExactly(master, request.data(), out) ||
                ::write(master, answer.data(), back) != static_cast<ssize_t>(back)) {
                return;
            }
        }
    });
    std::vector<std::uint8_t> request(out, 0x07), answer(back);
    const auto start = Clock::now();
    for (int i = 0; i < kBlocks; ++i) {
        if (::write(slave, request.data(), out) != static_cast<ssize_t>(out) ||
            !ReadExactly(slave, answer.data(), back)) {
            break;
        }
    }
    const auto elapsed = Clock::now() - start;
    farEnd.join();
    ::close(slave);
    ::close(master);
    return MicrosecondsPer(elapsed, kBlocks);
}

struct Figures {
    std::vector<double> write, read, frameOut, byteOut;
};

double Best(std::vector<double> values) { return *std::min_element(values.begin(), values.end()); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* what, const std::vector<double>& ours, const char* bare,
            const std::vector<double>& pty) {
    std::printf("%s best %7.1f us, median %7.1f us per 16-byte block | bare pty %s best %6.1f us, "
                "median %6.1f us | ratio of medians %.1f\n",
                what, Best(ours), Median(ours), bare, Best(pty), Median(pty),
                Median(ours) / Median(pty));
}

}  // namespace

// Five rounds, because the figures are taken on a shared machine: best and median.
int main() {
    constexpr int kRounds = 5;
    const korvan::ChipRecord chip{"BENCH64K", 0x30, 64, 5.0F, {0x1E, 0x64, 0x01}};
    korvan::sim::SimulatedSerialProgrammer simulator(chip);
    if (const auto started = simulator.Start(); !started) {
        std::fprintf(stderr, "simulator: %s\n", started.message.c_str());
        return 1;
    }
    WaitingEvents events;
    PtyFactory factory(simulator.DevicePath());
    Figures figures;
    korvan::ProgrammerManager manager;
    manager.catalogue().Parse(korvan::EncodeCatalogue({chip}));
    manager.SetComPort(1);
    manager.SetBaudIndex(3);
    if (manager.Init(events, korvan::SerialProgrammerType, 0, factory) != 1) {
        std::fprintf(stderr, "cannot open %s\n", simulator.DevicePath().c_str());
        return 1;
    }
    manager.CheckReady(0);
    if (!events.WaitFor(korvan::ProgrammerReady)) {
        return 1;
    }
    for (int round = 0; round < kRounds; ++round) {
        // A fresh pattern each round; the erase lets programming set bits again.
        for (std::size_t i = 0; i < korvan::kImageSize; ++i) {
            manager.Buffer1()[i] = static_cast<std::uint8_t>((i * 13 + static_cast<std::size_t>(round)) % 251);
        }
        manager.EraseChip(0);
        if (!events.WaitFor(korvan::EraseDone)) {
            std::fprintf(stderr, "erase failed\n");
            return 1;
        }
        auto start = Clock::now();
        manager.WriteChip(0);
        if (!events.WaitFor(korvan::WriteDone) || !events.WaitFor(korvan::ProgrammerReady)) {
            std::fprintf(stderr, "write failed\n");
            return 1;
        }
        figures.write.push_back(MicrosecondsPer(Clock::now() - start, kBlocks));

        start = Clock::now();
        manager.ReadChip(0);
        if (!events.WaitFor(korvan::ReadDone)) {
            std::fprintf(stderr, "read failed\n");
            return 1;
        }
        figures.read.push_back(MicrosecondsPer(Clock::now() - start, kBlocks));
        events.HandResultsTo(manager);
        if (manager.Buffer1() != manager.Buffer2()) {
            std::fprintf(stderr, "read back differs from what was written\n");
            return 1;
        }
        figures.frameOut.push_back(PingPong(korvan::kFrameLength, 1));
        figures.byteOut.push_back(PingPong(1, korvan::kFrameLength));
    }
    Report("64 KiB write:", figures.write, "18 out/1 back:", figures.frameOut);
    Report("64 KiB read: ", figures.read, "1 out/18 back:", figures.byteOut);
    const bool met = Median(figures.write) < 200 && Median(figures.read) < 200;
    std::printf("target under 200 us per block (medians): %s\n", met ? "met" : "missed");
    return 0;
}
