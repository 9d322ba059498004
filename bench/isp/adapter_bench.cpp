// 8 KiB written then verified on an AT89S52 through the FTDI and GPIO twins: round trips
// (FTDI) or system calls (GPIO) per byte, and the modelled time against the chip's own
// byte-write time plus the time of the bytes on the wire.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "engine/catalogue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "isp/bit_bang_lines.h"
#include "isp/ftdi_bank.h"
#include "isp/gpio_bank.h"
#include "isp/isp_algorithm.h"
#include "isp/isp_programmer.h"
#include "sim/adapters/simulated_ftdi_device.h"
#include "sim/adapters/simulated_gpio_chip.h"

namespace korvan {
namespace {

constexpr int kChipBytes = 8192;
const ChipRecord kAt89S52{"AT89S52", 2, 8, 5.0F, {0x1E, 0x52, 0x06}};

class NoWaits final : public Sleeper {
public:
    void Sleep(std::chrono::milliseconds /*duration*/) override {}
};

class FinalEvents final : public EventSink {
public:
    void PostMessage(Message /*message*/) override {}
    void PostEvent(int code) override {
        if (code != WriteDone && code != ReadDone && code != ProgrammingError && code != ProgrammerError) {
            return;
        }
        std::lock_guard lock(mutex_);
        last_ = code;
        changed_.notify_all();
    }
    int WaitForFinal() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return last_ != 0; });
        return std::exchange(last_, 0);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int last_ = 0;
};

class OneBackend final : public BackendFactory {
public:
    explicit OneBackend(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}
    std::unique_ptr<Backend> Create(int /*programmerType*/) override { return std::move(backend_); }

private:
    std::unique_ptr<Backend> backend_;
};

// A manager with an AT89S52 and an 8 KiB image, on an ISP back-end over `bank`.
struct Stack {
    Stack(int programmerType, AdapterKind kind, std::unique_ptr<LineBank> bank) {
        manager.catalogue().Parse(EncodeCatalogue({kAt89S52}));
        manager.SelectChip(0);
        IspOptions options;
        options.sleeper = std::make_shared<NoWaits>();
        OneBackend factory(
            std::make_unique<IspProgrammer>(std::make_unique<BitBangLines>(kind, std::move(bank)), options));
        manager.Init(events, programmerType, 2, factory);
        for (std::size_t i = 0; i < kChipBytes; ++i) {
            manager.Buffer1()[i] = static_cast<std::uint8_t>(i * 13 + 7);
        }
    }
    bool Write() {
        manager.WriteChip(0);
        return events.WaitForFinal() == WriteDone;
    }
    bool ReadAndVerify() {
        manager.ReadChip(0);
        return events.WaitForFinal() == ReadDone &&
               std::equal(manager.Buffer1().begin(), manager.Buffer1().begin() + kChipBytes, manager.Buffer2().begin());
    }
    FinalEvents events;
    ProgrammerManager manager;
};

double Seconds(std::chrono::nanoseconds time) { return std::chrono::duration<double>(time).count(); }

void BM_FtdiTwinWriteThenVerify8KiB(benchmark::State& state) {
    for (auto _ : state) {
        auto traffic = std::make_shared<sim::FtdiTraffic>();
        Stack stack(FtdiUsbType, AdapterKind::Ftdi,
                    std::make_unique<FtdiBank>(
                        std::make_unique<sim::SimulatedFtdiDevice>(kFtdiDefaultWiring, kAt89S52, sim::TargetOptions{}, traffic)));
        const sim::FtdiTraffic start = *traffic;
        if (!stack.Write()) {
            state.SkipWithError("write failed");
            return;
        }
        const sim::FtdiTraffic written = *traffic;
        if (!stack.ReadAndVerify()) {
            state.SkipWithError("verify failed");
            return;
        }
        const sim::FtdiTraffic read = *traffic;
        state.counters["round_trips_per_byte_written"] =
            static_cast<double>(written.roundTrips - start.roundTrips) / kChipBytes;
        state.counters["round_trips_per_32_bytes_read"] =
            static_cast<double>(read.roundTrips - written.roundTrips) * 32 / kChipBytes;
        const double modelled = Seconds(read.modelledTime - start.modelledTime);
        const double wire = static_cast<double>(read.bytesWritten - start.bytesWritten) / kFtdiBitBangBytesPerSecond;
        const double chip = Seconds(kByteWriteCycle) * kChipBytes;
        // The least the wire can carry: one write and one read-back per byte, one read per byte.
        const double leastWire = 3.0 * 64 * kChipBytes / kFtdiBitBangBytesPerSecond;
        state.counters["modelled_s"] = modelled;
        state.counters["over_chip_plus_wire"] = modelled / (chip + wire);
        state.counters["over_chip_plus_least_wire"] = modelled / (chip + leastWire);
    }
}
BENCHMARK(BM_FtdiTwinWriteThenVerify8KiB)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GpioTwinWriteThenVerify8KiB(benchmark::State& state) {
    for (auto _ : state) {
        auto traffic = std::make_shared<sim::GpioTraffic>();
        Stack stack(LinuxGpioType, AdapterKind::Gpio,
                    std::make_unique<GpioBank>(
                        std::make_unique<sim::SimulatedGpioChip>(kGpioDefaultWiring, kAt89S52, sim::TargetOptions{}, traffic)));
        const sim::GpioTraffic start = *traffic;
        if (!stack.Write()) {
            state.SkipWithError("write failed");
            return;
        }
        const sim::GpioTraffic written = *traffic;
        if (!stack.ReadAndVerify()) {
            state.SkipWithError("verify failed");
            return;
        }
        const sim::GpioTraffic read = *traffic;
        state.counters["calls_per_byte_written"] =
            static_cast<double>(written.systemCalls - start.systemCalls) / kChipBytes;
        state.counters["calls_per_byte_read"] = static_cast<double>(read.systemCalls - written.systemCalls) / kChipBytes;
        const double modelled = Seconds(read.modelledTime - start.modelledTime);
        state.counters["modelled_s"] = modelled;
        state.counters["over_chip_write_time"] = modelled / (Seconds(kByteWriteCycle) * kChipBytes);
    }
}
BENCHMARK(BM_GpioTwinWriteThenVerify8KiB)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

BENCHMARK_MAIN();
