#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/buffer_model.h"
#include "console/event_handler.h"
#include "console/image_files.h"
#include "console/info_save.h"
#include "console/report_gate.h"
#include "console/run_recorder.h"
#include "console/sequence_control.h"
#include "console/sequencer.h"
#include "console/settings_panel.h"
#include "console/status_presenter.h"
#include "console/timer.h"
#include "console/view.h"
#include "console/worker.h"
#include "engine/backend.h"
#include "engine/event_sink.h"
#include "engine/programmer_manager.h"

namespace korvan {

// Everything the main window does that is not drawing, behind one front door: the status
// presenter, the run recorder, the settings panel, the file commands, the sequencer and the
// event handler, with the gate reports come in by. Runs on one thread, the one that drains the
// event queue and runs `timer`'s tasks; it draws through a View and never waits.
class Console final : private SequenceControl {
public:
    Console(ProgrammerManager& manager, View& view, Timer& timer);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    // Large image files are read by `worker` (not owned; null: by the console itself). The
    // worker must be destroyed before the console.
    // The observer's stamps and records are made there too.
    void SetWorker(Worker* worker) {
        files_.SetWorker(worker);
        recorder_.SetWorker(worker);
    }

    // Start-up: views, lock-bit list, progress hidden, the settings applied (a record, or
    // the first-start values when there is none), controls enabled.
    void InitControls(const std::optional<InfoSave>& record);
    // Hands the settings to the manager, initialises the back-end, loads the catalogue (or
    // takes the one handed in by UseCatalogue) and restores the saved chip. Returns the
    // manager's Init result.
    int StartProgrammer(EventSink& sink, BackendFactory& factory);
    // A catalogue its front end has read already, shared instead of read again.
    void UseCatalogue(ChipCatalogue catalogue) { givenCatalogue_ = std::move(catalogue); }

    // Settings.
    std::string SettingsFilePath() const { return settingsPanel_.SettingsFilePath(); }
    void LoadSettings() { settingsPanel_.LoadSettings(); }
    void ApplySettings(const std::optional<InfoSave>& record) { settingsPanel_.ApplySettings(record); }
    // What Korvan.ini keeps: the record and the chosen port map. Its Write may run on any thread.
    SettingsToKeep SettingsToSave() { return settingsPanel_.SettingsToSave(sequencer_.chip(), files_.imagePath()); }
    void ShowProgrammerType(int type) { settingsPanel_.ShowProgrammerType(type); }
    void ShowComPort(int port) { settingsPanel_.ShowComPort(port); }
    void ShowBaudRate(int index) { settingsPanel_.ShowBaudRate(index); }
    void ShowDownloadSpeed(int index) { settingsPanel_.ShowDownloadSpeed(index); }
    void ChooseSetting(SettingItem item, int index) { settingsPanel_.ChooseSetting(item, index); }
    void SetSwitch(SettingItem item, bool on) { settingsPanel_.SetSwitch(item, on); }
    void SetHotKey(std::uint8_t code, std::uint8_t modifiers) { settingsPanel_.SetHotKey(code, modifiers); }
    bool ChoosePortDevice(int comPort, const std::string& devicePath) {
        return settingsPanel_.ChoosePortDevice(comPort, devicePath);
    }
    const SettingsModel& settings() const { return settingsPanel_.settings(); }

    // Status list.
    void AddStatus(const std::string& text) { status_.AddStatus(text); }
    void ShowPage(int page) { status_.ShowPage(page); }
    int currentPage() const { return status_.currentPage(); }
    int lineCount() const { return status_.lineCount(); }

    // One report from the back-end path, on the console's thread. Reports that arrive while
    // the console lets an erase settle are held and handled, in order, when it has settled.
    void Handle(const Report& report) { gate_.Pass(report); }
    // One Programmer Event, on the console's thread.
    void HandleEvent(int code) { events_.HandleEvent(code); }
    bool settling() const { return gate_.holding(); }

    // Operation sequencer and commands.
    void SetButtonsIdle(bool idle) override { sequencer_.SetButtonsIdle(idle); }
    void ContinueSequence(bool success, bool notify) override { sequencer_.ContinueSequence(success, notify); }
    bool CommandEnabled(Button button) const { return sequencer_.CommandEnabled(button); }
    bool AutoState(Button button) const { return settings().AutoState(button); }
    void SetAutoState(Button button, bool on) { settingsPanel_.SetAutoState(button, on); }
    const PendingSteps& pending() const { return sequencer_.pending(); }

    void OnCheck() { sequencer_.RunCommand(&PendingSteps::check, Button::Check); }
    void OnErase() { sequencer_.RunCommand(&PendingSteps::erase, Button::Erase); }
    void OnWrite() { sequencer_.RunCommand(&PendingSteps::write, Button::Write); }
    void OnRead() { sequencer_.RunCommand(&PendingSteps::read, Button::Read); }
    void OnVerify() { sequencer_.RunCommand(&PendingSteps::verify, Button::Verify); }
    void OnEncrypt() { sequencer_.RunCommand(&PendingSteps::encrypt, Button::Encrypt); }
    void OnAuto() { sequencer_.OnAuto(); }
    void OnWriteBit() { sequencer_.OnWriteBit(); }
    // The blank check alone, as a command: "Chip is blank." or where the first programmed byte is.
    void OnBlank() { sequencer_.RunCommand(&PendingSteps::blank, Button::Auto); }
    void SetAutoBlank(bool on) { sequencer_.SetAutoBlank(on); }

    // A chip operation runs, or a sequence has steps still to start.
    bool Busy() const { return sequencer_.Busy() || gate_.holding(); }
    const std::string& runningStep() const { return sequencer_.runningStep(); }
    // Cuts the running operation off: the back-end is stopped, the Status list says which
    // operation was cut off and "Stopped by the operator.", and the run ends as a failure.
    // With `restart` the back-end is started again, so the window goes on taking commands;
    // reports the stopped back-end posted before are dropped.
    void StopOperation(bool restart);
    // The command line's sequence: the given steps after the Ready probe, as Auto runs them,
    // without emptying the Status list.
    void RunSteps(PendingSteps steps) { sequencer_.RunSteps(steps); }

    // Files.
    void OnOpen(const std::string& path);  // the path chosen in the open dialog
    // The same, for a HEX file refused for its checksums or record lengths that the operator
    // chose to open anyway; the Status list says so.
    void OpenIgnoringChecksums(const std::string& path);
    // Told the path of every image that reached Buffer1 whole (null: nobody).
    void SetImageLoaded(std::function<void(const std::string& path)> loaded) { files_.SetImageLoaded(std::move(loaded)); }
    // Remembers `path` for the Open step and shows it in the title, without loading it.
    void SelectImageFile(const std::string& path) { files_.SelectImageFile(path); }
    // 1 when the image is in Buffer1, 0 when it could not be loaded; kLoadPending when the
    // worker reads it: the commands stay disabled until it is done, then the sequence goes on.
    int LoadImageFile() { return files_.LoadImageFile(); }
    bool loadPending() const { return files_.loadPending(); }
    void SetImageFileOptions(const ImageFileOptions& options) { files_.SetOptions(options); }
    // Before a write: whether Buffer1's data fits the selected chip. When it does not, says
    // how far the data reaches and ends the sequence as a failure.
    bool ImageFitsChip() { return files_.ImageFitsChip(sequencer_.chip()); }
    // Writes Intel HEX when `path` ends in ".hex", binary otherwise.
    SaveOutcome OnSave(const std::string& path);  // the path chosen in the save dialog
    int VerifyBuffers() { return sequencer_.VerifyBuffers(); }
    const std::string& imagePath() const { return files_.imagePath(); }
    const std::string& imageExt() const { return files_.imageExt(); }

    // The operator chose catalogue entry `index` (-1: none) for the next operations.
    void SelectChip(int index) { sequencer_.SelectChip(index); }
    int chipSelection() const { return sequencer_.chip(); }
    // The operator chose lock-bit level `index` + 1 (-1: none) for Write Bit.
    void SelectLockBit(int index) { sequencer_.SelectLockBit(index); }
    int lockBitSelection() const { return sequencer_.lockBit(); }

    // The buffers the hex views show. The operator's edits come back as commands: bytes from
    // an address on, and undo and redo of them. Buffer1's edits reach the image at a write,
    // Buffer2's at a save.
    const BufferModel& buffer1() const { return buffers_.buffer1; }
    const BufferModel& buffer2() const { return buffers_.buffer2; }
    bool EditBuffer1(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
        return buffers_.buffer1.Edit(address, bytes);
    }
    bool EditBuffer2(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
        return buffers_.buffer2.Edit(address, bytes);
    }
    bool UndoBuffer1() { return buffers_.buffer1.Undo(); }
    bool RedoBuffer1() { return buffers_.buffer1.Redo(); }
    bool UndoBuffer2() { return buffers_.buffer2.Undo(); }
    bool RedoBuffer2() { return buffers_.buffer2.Redo(); }

    // A chip the sequence must find in the socket: when Check identifies a chip with another
    // signature, the sequence ends there. Without one, the identified chip is used.
    void RequireChip(std::optional<int> index) { sequencer_.RequireChip(index); }
    void RefuseChipCommands(std::string reason) { sequencer_.RefuseChipCommands(std::move(reason)); }
    // The serial number placed in the last chip written; none before the first.
    std::optional<std::uint64_t> lastSerial() const { return sequencer_.lastSerial(); }

    // Stamps each chip's image before its write and hears of each run's end (not owned; null:
    // neither). The observer must outlive the console.
    void SetRunObserver(RunObserver* observer) { recorder_.SetObserver(observer); }
    // A run begins with a chip command and ends with its sequence. A front end that makes
    // several commands one run begins it itself and ends it with CloseRun; `failure` ends
    // a run that stopped outside the console (interrupted, no answer).
    void KeepRunsOpen() { recorder_.KeepRunsOpen(); }
    void BeginRun() { sequencer_.BeginRun(); }
    void CloseRun(const std::string& failure = {}) { sequencer_.CloseRun(failure); }
    // The run ended with `line` before any of `steps` could start (no programmer): each is
    // recorded as not run.
    void RecordNotStarted(const std::string& line, const PendingSteps& steps) {
        sequencer_.RecordNotStarted(line, steps);
    }

    int writeCounter() const { return sequencer_.writeCounter(); }
    bool verifyFlag() const { return sequencer_.verifyFlag(); }

    // For front ends that wait for the end of a run: chip operations started whose ending
    // event has not been handled yet (a serial write also leaves its Ready probe's answer).
    int outstanding() const { return sequencer_.outstanding(); }
    bool initReported() const { return events_.initReported(); }
    // Whether a failure has ended a sequence since start.
    bool failed() const { return sequencer_.failed(); }

private:
    void Deliver(const Report& report);

    ProgrammerManager& manager_;
    View& view_;
    StatusPresenter status_;
    Buffers buffers_;
    RunRecorder recorder_;
    SettingsPanel settingsPanel_;
    ImageFiles files_;
    ReportGate gate_;
    Sequencer sequencer_;
    EventHandler events_;
    // What the back-end is started with again after a stop.
    EventSink* sink_ = nullptr;
    BackendFactory* factory_ = nullptr;
    std::optional<ChipCatalogue> givenCatalogue_;
};

}  // namespace korvan
