#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "engine/catalogue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "isp/bit_bang_lines.h"
#include "isp/ftdi_bank.h"
#include "isp/gpio_bank.h"
#include "isp/isp_algorithm.h"
#include "isp/isp_programmer.h"
#include "isp/parallel_port_lines.h"
#include "sim/adapters/simulated_ftdi_device.h"
#include "sim/adapters/simulated_gpio_chip.h"
#include "sim/parallel/simulated_parallel_port.h"

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
        const int code = last_;
        last_ = 0;
        return code;
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

// Registers that cost nothing, so the time left is the stack's own.
class NullRegisters final : public RegisterAccess {
public:
    std::uint8_t ReadData() override { return Count(0); }
    std::uint8_t ReadStatus() override { return Count(0x78); }
    std::uint8_t ReadControl() override { return Count(0); }
    void WriteData(std::uint8_t value) override { sink_ ^= Count(value); }
    void WriteControl(std::uint8_t value) override { sink_ ^= Count(value); }
    std::uint64_t accesses = 0;

private:
    std::uint8_t Count(std::uint8_t value) {
        ++accesses;
        return value;
    }
    std::uint8_t sink_ = 0;
};

// The whole back-end on the simulated Ferrow cable: write 8 KiB (with per-byte polling), then
// read it back. Time is wall time, since the work runs on the worker thread.
void BM_WriteAndRead8KiB(benchmark::State& state) {
    const int speed = static_cast<int>(state.range(0));
    FinalEvents events;
    ProgrammerManager manager;
    manager.catalogue().Parse(EncodeCatalogue({kAt89S52}));
    manager.SelectChip(0);
    auto simulated = std::make_unique<sim::SimulatedParallelPort>(1, kFerrowDefaultMap, kAt89S52);
    sim::SimulatedParallelPort* port = simulated.get();
    IspOptions options;
    options.sleeper = std::make_shared<NoWaits>();
    OneBackend factory(std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(std::move(simulated)), options));
    manager.Init(events, 1, speed, factory);
    auto* programmer = static_cast<IspProgrammer*>(manager.backend());
    for (std::size_t i = 0; i < kChipBytes; ++i) {
        manager.Buffer1()[i] = static_cast<std::uint8_t>(i * 13 + 7);
    }
    const ChipRecord chip = kAt89S52;
    std::uint64_t accesses = 0;
    for (auto _ : state) {
        const std::uint64_t before = port->reads() + port->writes();
        programmer->WriteChip(chip.chipCode);
        if (events.WaitForFinal() != WriteDone) {
            state.SkipWithError("write failed");
            break;
        }
        programmer->WaitForWorker();
        programmer->ReadChip(chip.chipCode);
        events.WaitForFinal();
        if (manager.total != kChipBytes) {
            state.SkipWithError("read did not cover the chip");
            break;
        }
        programmer->WaitForWorker();
        accesses += port->reads() + port->writes() - before;
    }
    const auto bytes = static_cast<double>(state.iterations()) * kChipBytes;
    state.counters["accesses_per_byte"] = static_cast<double>(accesses) / bytes;
    state.counters["ns_per_access"] =
        benchmark::Counter(static_cast<double>(accesses), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WriteAndRead8KiB)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The stack without the simulator: Read Code Byte instructions on registers that cost nothing.
void BM_StackOnlyReadByte(benchmark::State& state) {
    const int speed = static_cast<int>(state.range(0));
    FinalEvents events;
    ProgrammerManager manager;
    auto registers = std::make_unique<NullRegisters>();
    NullRegisters* counted = registers.get();
    IspOptions options;
    options.sleeper = std::make_shared<NoWaits>();
    OneBackend factory(std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(std::move(registers)), options));
    manager.Init(events, 1, speed, factory);
    IspAlgorithm* algorithm = static_cast<IspProgrammer*>(manager.backend())->FindAlgorithm(2);
    std::uint32_t address = 0;
    const std::uint64_t before = counted->accesses;
    for (auto _ : state) {
        benchmark::DoNotOptimize(algorithm->ReadByte(address++));
    }
    state.counters["ns_per_access"] = benchmark::Counter(static_cast<double>(counted->accesses - before),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StackOnlyReadByte)->Arg(0)->Arg(1)->Arg(2);

// One ppdev-sized system call for comparison: the status ioctl on /dev/null (refused by the
// driver, but it crosses into the kernel and back like PPRSTATUS does).
void BM_SyscallIoctl(benchmark::State& state) {
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    unsigned char status = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(::ioctl(fd, PPRSTATUS, &status));
    }
    ::close(fd);
}
BENCHMARK(BM_SyscallIoctl);

void BM_SyscallRead(benchmark::State& state) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    char byte = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(::read(fd, &byte, 1));
    }
    ::close(fd);
}
BENCHMARK(BM_SyscallRead);

// 8 KiB written then verified on an AT89S52 through the FTDI and GPIO twins: round trips
// (FTDI) or system calls (GPIO) per byte, and the modelled time against the chip's own
// byte-write time plus the time of the bytes on the wire.
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
