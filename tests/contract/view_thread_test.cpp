// The console calls its View on the console's thread only, whatever the back-end threads do:
// a whole job and its failures on both simulators, with messages coming from back-end threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "console/basic_view.h"
#include "console/console.h"
#include "console/event_queue.h"
#include "isp/isp_programmer.h"
#include "isp/parallel_port_lines.h"
#include "serial/serial_programmer.h"
#include "sim/parallel/simulated_parallel_port.h"
#include "sim/serial/simulated_serial_programmer.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using std::chrono::milliseconds;

// Counts every call and every call that came on another thread than the console's.
class ThreadCheckingView final : public BasicView {
public:
    void SetConsoleThread(std::thread::id id) { consoleThread_ = id; }
    int calls() const { return calls_; }
    int strayCalls() const { return strayCalls_; }
    int messages() const { return messages_; }
    // A hex view hears of its buffer's changes as it hears of everything else.
    void Watch(const BufferModel& buffer) const {
        buffer.AddObserver([this](BufferModel::Change) { Note(); });
    }

    void ShowMessage(const Message& message) override {
        Note();
        ++messages_;
        BasicView::ShowMessage(message);
    }
    void InsertStatusLine(int index, const std::string& text) override { Note(), BasicView::InsertStatusLine(index, text); }
    void InsertStatusLines(int first, std::vector<std::string> lines) override {
        Note(), BasicView::InsertStatusLines(first, std::move(lines));
    }
    void SelectStatusLine(int index) override { Note(), BasicView::SelectStatusLine(index); }
    void ClearStatusLines() override { Note(), BasicView::ClearStatusLines(); }
    void ShowPage(int page) override { Note(), BasicView::ShowPage(page); }
    void ShowProgress(bool visible) override { Note(), BasicView::ShowProgress(visible); }
    void SetProgressText(const std::string& text) override { Note(), BasicView::SetProgressText(text); }
    void SetProgressPos(int percent) override { Note(), BasicView::SetProgressPos(percent); }
    void RepaintProgress() override { Note(), BasicView::RepaintProgress(); }
    void SetButtonEnabled(Button button, bool enabled) override { Note(), BasicView::SetButtonEnabled(button, enabled); }
    void SetStatusIcon(Button button, int status) override { Note(), BasicView::SetStatusIcon(button, status); }
    void ShowAutoState(Button button, bool on) override { Note(), BasicView::ShowAutoState(button, on); }
    void EnableSelections(bool enabled) override { Note(), BasicView::EnableSelections(enabled); }
    void SetChipNames(const std::vector<ChipRecord>& chips) override { Note(), BasicView::SetChipNames(chips); }
    void SelectChip(int index) override { Note(), BasicView::SelectChip(index); }
    void SetLockBitNames(const std::vector<std::string>& names) override { Note(), BasicView::SetLockBitNames(names); }
    void SelectLockBit(int index) override { Note(), BasicView::SelectLockBit(index); }
    void SetTitle(const std::string& title) override { Note(), BasicView::SetTitle(title); }
    void ShowSettingValue(SettingItem item, const std::string& text) override {
        Note(), BasicView::ShowSettingValue(item, text);
    }
    void NotifySuccess() override { Note(), BasicView::NotifySuccess(); }
    void NotifyFailure() override { Note(), BasicView::NotifyFailure(); }

private:
    void Note() const {
        ++calls_;
        if (std::this_thread::get_id() != consoleThread_) {
            ++strayCalls_;
        }
    }

    std::thread::id consoleThread_;
    mutable std::atomic<int> calls_{0};
    mutable std::atomic<int> strayCalls_{0};
    std::atomic<int> messages_{0};
};

// The console on a thread of its own, as a front end runs it: reports, timer tasks, and the
// operator's commands handed over from the test's thread.
class ConsoleThread {
public:
    ConsoleThread(ProgrammerManager& manager, ThreadCheckingView& view)
        : console_(manager, view, timer_), thread_([this] { Loop(); }) {
        view.SetConsoleThread(thread_.get_id());
        view.Watch(console_.buffer1());
        view.Watch(console_.buffer2());
    }
    ~ConsoleThread() {
        quit_ = true;
        thread_.join();
    }
    EventQueue& queue() { return queue_; }

    // Runs `command` on the console's thread and returns once it has run.
    void Do(std::function<void(Console&)> command) {
        std::packaged_task<void()> task([this, command = std::move(command)] { command(console_); });
        std::future<void> done = task.get_future();
        {
            std::lock_guard lock(lock_);
            commands_.push_back(std::move(task));
        }
        done.wait();
    }
    // Waits, with a generous deadline, until no step is running or pending.
    bool WaitIdle() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            bool idle = false;
            Do([&](Console& console) {
                idle = console.initReported() && console.outstanding() == 0 && !console.pending().Any() &&
                       !console.settling();
            });
            if (idle) {
                return true;
            }
        }
        return false;
    }

private:
    void Loop() {
        while (!quit_) {
            RunCommands();
            timer_.RunDue();
            if (const std::optional<Report> report = queue_.WaitPop(milliseconds(2))) {
                console_.Handle(*report);
            }
        }
    }
    void RunCommands() {
        std::deque<std::packaged_task<void()>> commands;
        {
            std::lock_guard lock(lock_);
            commands.swap(commands_);
        }
        for (auto& command : commands) {
            command();
        }
    }

    EventQueue queue_;
    TimerQueue timer_;
    Console console_;
    std::mutex lock_;
    std::deque<std::packaged_task<void()>> commands_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

ChipRecord Chip() { return ChipRecord{"AT89S52", 2, 8, 5.0F, {0x1E, 0x52, 0x06}}; }

class OneFactory final : public BackendFactory {
public:
    explicit OneFactory(std::function<std::unique_ptr<Backend>()> make) : make_(std::move(make)) {}
    std::unique_ptr<Backend> Create(int /*type*/) override { return make_(); }

private:
    std::function<std::unique_ptr<Backend>()> make_;
};

// Start-up, then a whole Auto job on the sample firmware; returns whether it failed.
bool RunJob(ConsoleThread& console, int programmerType, BackendFactory& factory) {
    console.Do([&](Console& c) {
        InfoSave record = FirstStartInfoSave();
        record.programmerType = programmerType;
        record.baudIndex = 3;
        c.InitControls(record);
        c.StartProgrammer(console.queue(), factory);
        c.SelectImageFile(std::string(KORVAN_SOURCE_DIR) + "firmware/sample.hex");
    });
    EXPECT_TRUE(console.WaitIdle());
    console.Do([](Console& c) { c.OnAuto(); });
    EXPECT_TRUE(console.WaitIdle());
    bool failed = false;
    console.Do([&](Console& c) { failed = c.failed(); });
    return failed;
}

class ViewThread : public ::testing::Test {
protected:
    ViewThread() {
        const std::vector<std::uint8_t> catalogue = EncodeCatalogue({Chip()});
        dir.Write("ChipList.chip", std::string(catalogue.begin(), catalogue.end()));
        manager.SetProgramDirectory(dir.dir());
    }
    TempDir dir;
    ThreadCheckingView view;
    ProgrammerManager manager;
};

TEST_F(ViewThread, SerialJobAndAHangUpReachTheViewOnTheConsoleThreadOnly) {
    sim::SimulatedSerialProgrammer simulator(Chip());
    ASSERT_TRUE(simulator.Start().ok);
    OneFactory factory([&] {
        SerialDeviceMap devices;
        devices.Set(1, simulator.DevicePath());
        return std::make_unique<SerialProgrammer>(std::move(devices));
    });
    {
        ConsoleThread console(manager, view);
        EXPECT_FALSE(RunJob(console, SerialProgrammerType, factory));

        sim::SerialFaults faults;
        faults.disconnectAfterBlocks = 3;
        simulator.SetFaults(faults);
        console.Do([](Console& c) { c.OnAuto(); });
        EXPECT_TRUE(console.WaitIdle());
        console.Do([](Console& c) { EXPECT_TRUE(c.failed()); });
        console.Do([&](Console&) { manager.ShutdownBackend(); });
    }
    EXPECT_GT(view.messages(), 0);  // the port error, shown from the monitor's report
    EXPECT_GT(view.calls(), 100);
    EXPECT_EQ(view.strayCalls(), 0);
}

TEST_F(ViewThread, CableJobAndAMissingChipReachTheViewOnTheConsoleThreadOnly) {
    bool chipInSocket = true;
    OneFactory factory([&] {
        sim::TargetOptions target;
        target.noChip = !chipInSocket;
        return std::make_unique<IspProgrammer>(std::make_unique<ParallelPortLines>(
            sim::SimulatedParallelPort::ForCable(AtmelByteBlasterType, dir.dir(), Chip(), target)));
    });
    {
        ConsoleThread console(manager, view);
        EXPECT_FALSE(RunJob(console, AtmelByteBlasterType, factory));
        console.Do([&](Console&) { manager.ShutdownBackend(); });

        chipInSocket = false;
        EXPECT_TRUE(RunJob(console, AtmelByteBlasterType, factory));
        console.Do([&](Console&) { manager.ShutdownBackend(); });
    }
    EXPECT_GT(view.calls(), 100);
    EXPECT_EQ(view.strayCalls(), 0);
}

}  // namespace
}  // namespace korvan::testing
