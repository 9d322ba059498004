#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/event_queue.h"
#include "console/view.h"
#include "engine/catalogue.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {

// A view that remembers everything it was told to show.
class RecordingView : public View {
public:
    void ShowMessage(const Message& message) override {
        messages.push_back(message.text);
        details.push_back(message.detail);
    }

    void InsertStatusLine(int index, const std::string& text) override {
        const int at = index - forgottenLines;
        ASSERT_GE(at, 0);
        ASSERT_LE(at, static_cast<int>(lines.size()));
        lines.insert(lines.begin() + at, text);
    }
    void InsertStatusLines(int firstIndex, std::vector<std::string> texts) override {
        ++batches;
        for (const std::string& text : texts) {
            InsertStatusLine(firstIndex++, text);
        }
    }
    void SelectStatusLine(int index) override { selectedLine = index; }
    void ClearStatusLines() override {
        lines.clear();
        forgottenLines = 0;
    }
    // Lets a test look only at the lines that follow.
    void ForgetLines() {
        forgottenLines += static_cast<int>(lines.size());
        lines.clear();
    }
    void ShowPage(int page) override { pages.push_back(page); }

    void ShowProgress(bool visible) override { progressVisible = visible; }
    void SetProgressText(const std::string& text) override { progressText = text; }
    void SetProgressPos(int percent) override { progressPositions.push_back(percent); }
    void RepaintProgress() override { ++repaints; }

    void SetButtonEnabled(Button button, bool on) override { enabled[static_cast<std::size_t>(button)] = on; }
    void SetStatusIcon(Button button, int status) override { icons[static_cast<std::size_t>(button)] = status; }
    void ShowAutoState(Button button, bool on) override { autoShown[static_cast<std::size_t>(button)] = on; }
    void EnableSelections(bool on) override { selectionsEnabled = on; }

    void SetChipNames(const std::vector<ChipRecord>& chips) override {
        chipNames.clear();
        for (const ChipRecord& chip : chips) {
            chipNames.push_back(chip.name);
        }
    }
    void SelectChip(int index) override {
        chipSelection = index >= 0 && static_cast<std::size_t>(index) < chipNames.size() ? index : -1;
    }
    void SetLockBitNames(const std::vector<std::string>& names) override { lockBitNames = names; }
    void SelectLockBit(int index) override { lockBitSelection = index; }

    void SetTitle(const std::string& text) override { title = text; }
    void ShowSettingValue(SettingItem item, const std::string& text) override { settingValues[item] = text; }

    void NotifySuccess() override { ++successes; }
    void NotifyFailure() override { ++failures; }

    bool IsEnabled(Button button) const { return enabled[static_cast<std::size_t>(button)]; }
    int Icon(Button button) const { return icons[static_cast<std::size_t>(button)]; }

    std::vector<std::string> messages;
    std::vector<std::string> details;
    std::vector<std::string> lines;
    int forgottenLines = 0;
    int selectedLine = -1;
    std::vector<int> pages;
    bool progressVisible = true;
    std::string progressText;
    std::vector<int> progressPositions;
    int repaints = 0;
    std::array<bool, kButtonCount> enabled{};
    std::array<int, kButtonCount> icons{};
    std::array<bool, kButtonCount> autoShown{};
    bool selectionsEnabled = false;
    std::vector<std::string> chipNames;
    int chipSelection = -1;
    std::vector<std::string> lockBitNames;
    int lockBitSelection = -1;
    std::string title;
    std::map<SettingItem, std::string> settingValues;
    int successes = 0;
    int failures = 0;
    int batches = 0;
};

// A back-end that only records what it was asked to do; tests post the events.
class FakeBackend : public Backend {
public:
    FakeBackend(std::vector<std::string>& calls, int initEvent, bool probesAfterWrite)
        : calls_(calls), initEvent_(initEvent), probesAfterWrite_(probesAfterWrite) {}

    int Init(ProgrammerManager& manager) override {
        manager.PostEvent(initEvent_);
        return 1;
    }
    void CheckReady(std::uint8_t code) override { Record("CheckReady", code); }
    void ReadSignature(std::uint8_t code) override { Record("ReadSignature", code); }
    void EraseChip(std::uint8_t code) override { Record("EraseChip", code); }
    void WriteChip(std::uint8_t code) override { Record("WriteChip", code); }
    void ReadChip(std::uint8_t code) override { Record("ReadChip", code); }
    void WriteLockBits(std::uint8_t code, int level) override {
        calls_.push_back("WriteLockBits(" + std::to_string(code) + "," + std::to_string(level) + ")");
    }
    void Stop() override { calls_.push_back("Stop"); }
    bool ProbesAfterWrite() const override { return probesAfterWrite_; }

private:
    void Record(const char* name, std::uint8_t code) { calls_.push_back(std::string(name) + "(" + std::to_string(code) + ")"); }

    std::vector<std::string>& calls_;
    int initEvent_;
    bool probesAfterWrite_;
};

class FakeFactory : public BackendFactory {
public:
    std::unique_ptr<Backend> Create(int type) override {
        // Type 0 behaves as the serial programmer: it probes after a write.
        return std::make_unique<FakeBackend>(calls, type == 0 ? 2 : 4, type == 0);
    }
    std::vector<std::string> calls;
};

// Chips of the test catalogue: chip codes 11, 12, 13.
inline std::vector<ChipRecord> TestChips() {
    return {
        ChipRecord{"Small", 11, 4, 12.0F, {0x1E, 0x51, 0x06}},
        ChipRecord{"Marked", 12, 8, 5.0F, {0xAB, 0x0C, 0x5D}},
        ChipRecord{"Large", 13, 64, 5.0F, {0x12, 0x34, 0x56}},
    };
}

// A console on a fake back-end, started as the program starts, with its start-up events
// already handled (for the serial type: the start-up probe answered).
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto bytes = EncodeCatalogue(TestChips());
        dir.Write("ChipList.chip", std::string(bytes.begin(), bytes.end()));
        manager.SetProgramDirectory(dir.dir());
    }

    void Start(int programmerType = 0, std::optional<InfoSave> record = std::nullopt) {
        if (!record) {
            record = FirstStartInfoSave();
            record->programmerType = programmerType;
        }
        console.InitControls(record);
        console.StartProgrammer(queue, factory);
        Pump();
        if (programmerType == 0) {
            Post(ProgrammerReady);
        }
        view.ForgetLines();
        factory.calls.clear();
        view.successes = view.failures = 0;
    }

    // Handles every queued report, as the front end's loop does.
    void Pump() {
        while (const std::optional<Report> report = queue.TryPop()) {
            console.Handle(*report);
        }
    }
    // Moves the console's clock on and runs the timer tasks that are due.
    void Advance(std::chrono::milliseconds time) {
        now += time;
        timer.RunDue();
    }
    void Post(Report report) {
        manager.Post(std::move(report));
        Pump();
    }
    std::vector<std::string>& calls() { return factory.calls; }

    TempDir dir;
    EventQueue queue;
    FakeFactory factory;
    RecordingView view;
    TimerQueue::Clock::time_point now{};
    TimerQueue timer{[this] { return now; }};
    ProgrammerManager manager;
    Console console{manager, view, timer};
};

}  // namespace korvan::testing
