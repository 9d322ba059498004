#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "console/image_files.h"
#include "console/report_gate.h"
#include "console/run_recorder.h"
#include "console/sequence_control.h"
#include "console/settings_model.h"
#include "console/status_presenter.h"
#include "console/view.h"
#include "engine/programmer_manager.h"

namespace korvan {

inline constexpr std::chrono::milliseconds kEraseSettleTime{100};

// The operations a sequence can hold, in the order the sequencer runs them.
struct PendingSteps {
    bool open = false;
    bool readyProbe = false;
    bool check = false;
    bool erase = false;
    bool blank = false;
    bool write = false;
    bool read = false;
    bool verify = false;
    bool encrypt = false;

    bool Any() const { return open || readyProbe || check || erase || blank || write || read || verify || encrypt; }
    bool operator==(const PendingSteps&) const = default;
};

// What a read is for: Buffer2 alone, a comparison with Buffer1, or a blank check.
enum class ReadPurpose { Show, Verify, BlankCheck };

// The operation sequencer: the chip commands, Auto and the command line's steps, one step at
// a time in a fixed order, each started when the one before has ended; the buttons' state;
// and the runs the steps make.
class Sequencer final : public SequenceControl {
public:
    Sequencer(ProgrammerManager& manager, Buffers& buffers, View& view, StatusPresenter& status,
              RunRecorder& recorder, ImageFiles& files, const SettingsModel& settings, ReportGate& gate)
        : manager_(manager),
          buffers_(buffers),
          view_(view),
          status_(status),
          recorder_(recorder),
          files_(files),
          settings_(settings),
          gate_(gate) {}

    void SetButtonsIdle(bool idle) override;
    void ContinueSequence(bool success, bool notify) override;
    bool CommandEnabled(Button button) const { return enabled_[static_cast<std::size_t>(button)]; }
    const PendingSteps& pending() const { return pending_; }

    // One chip command, when its button is enabled.
    void RunCommand(bool PendingSteps::*step, Button button);
    void OnAuto();
    void OnWriteBit();
    // The run ended with `line` before any of `steps` could start: each is recorded as not run.
    void RecordNotStarted(const std::string& line, const PendingSteps& steps);
    // While `reason` is not empty every chip command is refused, with `reason` as a status line
    // and in a box; an empty reason lets them run again.
    void RefuseChipCommands(std::string reason) { refusal_ = std::move(reason); }
    // The serial number placed in the last chip written; none before the first.
    std::optional<std::uint64_t> lastSerial() const { return lastSerial_; }
    // The given steps after the Ready probe, as Auto runs them, without emptying the Status list.
    void RunSteps(PendingSteps steps);

    // The chip the operator chose: a catalogue index, -1 for none (the manager then takes the
    // first). The view shows it; nothing reads it back from there.
    void SelectChip(int index);
    int chip() const { return chip_; }
    // The lock-bit level Write Bit sets, 0..2 for Lock Bit-1..3 (-1: none); the view shows it.
    void SelectLockBit(int index);
    int lockBit() const { return lockBit_; }

    void RequireChip(std::optional<int> index) { requiredChip_ = index; }
    // Whether Auto runs a blank check after the erase (a front end's own mark, not in the record).
    void SetAutoBlank(bool on) { autoBlank_ = on; }

    // A chip operation runs, or steps are still to start.
    bool Busy() const { return outstanding_ > 0 || pending_.Any(); }
    // The step running now in the job log's words ("write", "erase" ...; "ready" for the probe
    // after the programmer started). Meaningful while Busy.
    const std::string& runningStep() const { return runningStep_; }
    // After the back-end was stopped under the running operation: the Status list says which
    // one was cut off and "Stopped by the operator.", and the run ends as a failure.
    void CutOff();
    // After an identification: whether the chip the sequence requires is in the socket.
    bool RequiredChipFound();

    void BeginRun() { recorder_.Begin(); }
    void CloseRun(const std::string& failure);

    // Chip operations started whose ending event has not been handled yet.
    int outstanding() const { return outstanding_; }
    void Started() { ++outstanding_; }
    void Ended();
    // The programmer has started: it is asked whether it is ready.
    void ProbeReady();
    bool failed() const { return failed_; }

    // A write has ended; false when a step still pending waits for the back-end's own probe.
    bool WriteEnded();
    int writeCounter() const { return writeCounter_; }
    bool verifyFlag() const { return purpose_ == ReadPurpose::Verify; }
    // Judges a read as its purpose asks: true when it passed (a plain read always does).
    bool JudgeRead();
    int VerifyBuffers();

private:
    // A step a sequence can hold, with the name the job log gives it.
    struct SequenceStep {
        bool PendingSteps::*pending;
        void (Sequencer::*start)();
        const char* name;
    };
    // The steps in the order the sequencer runs them.
    static const std::array<SequenceStep, 9>& SequenceOrder();
    // Starts the first pending step in sequence order; false when none is pending.
    bool StartNextStep();
    void StartOpen();
    void StartReadyProbe();
    void StartCheck();
    void StartErase();
    void StartWrite();
    // The operator's edits in Buffer1 become the bytes to write.
    void TakeBuffer1Edits();
    void StartRead();
    void StartVerify();
    void StartBlankCheck();
    void StartReadBack(Button button, ReadPurpose purpose);
    void StartEncrypt();
    // The names of `steps`, in the order a sequence runs them.
    static std::vector<const char*> StepNames(const PendingSteps& steps);
    // Begins the run of the steps pending.
    void StartSequence();
    // Every command's button and the selections on or off; the pending steps stay.
    void EnableButtons(bool on);
    // True, and the refusal told, when chip commands are refused.
    bool Refused();
    // Before a write: the image fits the chip and the observer accepts it; else the
    // sequence has ended as a failure.
    bool ImageWritable();
    // Says what the observer's stamp placed; false when it refused, ending the sequence.
    bool ShowStamp(const RunObserver::Stamp& stamp);
    void RecordFailure();
    // The sequence is over: the run ends too, unless the front end keeps it open or a
    // command's answer is still to come.
    void SequenceOver();

    ProgrammerManager& manager_;
    Buffers& buffers_;
    View& view_;
    StatusPresenter& status_;
    RunRecorder& recorder_;
    ImageFiles& files_;
    const SettingsModel& settings_;
    ReportGate& gate_;

    PendingSteps pending_;
    std::array<bool, kButtonCount> enabled_{};
    int writeCounter_ = 0;
    ReadPurpose purpose_ = ReadPurpose::Show;
    int chip_ = -1;
    int lockBit_ = -1;
    std::optional<int> requiredChip_;
    // Erased in this sequence and not locked since: a blank read is then known to be blank.
    bool erasedSinceLock_ = false;
    std::string refusal_;
    std::optional<std::uint64_t> lastSerial_;
    int outstanding_ = 0;
    std::uint64_t startChecks_ = 0;  // which run's start was asked about last
    bool failed_ = false;
    bool autoBlank_ = false;
    std::string runningStep_;
};

}  // namespace korvan
