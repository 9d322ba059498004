#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "console/info_save.h"
#include "console/run_journal.h"
#include "console/settings_model.h"
#include "console/timer.h"
#include "console/view.h"
#include "console/worker.h"
#include "data/hex_file.h"
#include "engine/backend.h"
#include "engine/event_sink.h"
#include "engine/programmer_manager.h"

namespace korvan {

inline constexpr const char* kProgramVersion = "2.3";
inline constexpr const char* kProgramTitle = "Korvan v2.3";
inline constexpr std::chrono::milliseconds kEraseSettleTime{100};
// Larger Intel HEX texts are refused instead of being read into memory.
inline constexpr std::uintmax_t kMaxHexFileSize = 64U * 1024U * 1024U;
// Image files of this size and more are read on the worker's thread, when there is a worker.
inline constexpr std::uintmax_t kBackgroundLoadSize = 1024U * 1024U;
// What LoadImageFile returns while the worker still reads the file.
inline constexpr int kLoadPending = -1;

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

enum class SaveOutcome { NotEnabled, CannotCreate, WriteFailed, Saved };

// How an opened image is read: by its name (".hex" as Intel HEX, ".bin" as binary, any other
// name by its content), or always in one format.
enum class ImageFormat { ByName, Hex, Binary };

// The frame around a verification report ("-----Verification Done-----") reports nothing.
inline bool IsFrameLine(const std::string& text) { return text.rfind("-----", 0) == 0; }

// What reading and converting an image file came to, before anything of it is shown.
struct ImageLoad;

struct ImageFileOptions {
    ImageFormat format = ImageFormat::ByName;
    HexReadOptions hex;
};

// Everything the main window does that is not drawing: event handling, the operation
// sequencer, the file commands and the settings record. Runs on one thread, the one that
// drains the event queue and runs `timer`'s tasks; it draws through a View and never waits.
class Console {
public:
    Console(ProgrammerManager& manager, View& view, Timer& timer);
    Console(const Console&) = delete;
    // Large image files are read by `worker` (not owned; null: by the console itself). The
    // worker must be destroyed before the console.
    void SetWorker(Worker* worker) { worker_ = worker; }
    Console& operator=(const Console&) = delete;

    // Start-up: views, lock-bit list, progress hidden, the settings applied (a record, or
    // the first-start values when there is none), controls enabled.
    void InitControls(const std::optional<InfoSave>& record);
    // Hands the settings to the manager, initialises the back-end, loads the catalogue and
    // restores the saved chip. Returns the manager's Init result.
    int StartProgrammer(EventSink& sink, BackendFactory& factory);

    // Settings record: Korvan.ini in the manager's settings directory.
    std::string SettingsFilePath() const;
    void LoadSettings();
    // Applies a record read at start-up (nothing when there is none); an unusable hardware
    // value is reported with the file and field, and passed on as it is. The port map is read
    // from Korvan.ini here too; a device path it refuses is reported and its default used.
    void ApplySettings(const std::optional<InfoSave>& record);
    // Writes Korvan.ini, the record and the chosen port map; false when it could not be written.
    bool SaveSettings();
    void ShowProgrammerType(int type);
    void ShowComPort(int port);
    void ShowBaudRate(int index);
    void ShowDownloadSpeed(int index);
    // The operator picked list entry `index` of one of the four list items, or flipped a switch.
    void ChooseSetting(SettingItem item, int index);
    void SetSwitch(SettingItem item, bool on);
    // The hot key chosen in its dialog; kept in the record saved at exit.
    void SetHotKey(std::uint8_t code, std::uint8_t modifiers) { settings_.SetHotKey(code, modifiers); }
    // The operator mapped a COM number to a device; saved at exit, used at the next start.
    // False, and nothing chosen, for a number outside 1..4 or a path that is not absolute.
    bool ChoosePortDevice(int comPort, const std::string& devicePath);
    const SettingsModel& settings() const { return settings_; }

    // Status list.
    void AddStatus(const std::string& text);
    void ShowPage(int page);
    int currentPage() const { return currentPage_; }
    int lineCount() const { return lineCounter_; }

    // One report from the back-end path, on the console's thread. Reports that arrive while
    // the console lets an erase settle are held and handled, in order, when it has settled.
    void Handle(const Report& report);
    // One Programmer Event, on the console's thread.
    void HandleEvent(int code);
    bool settling() const { return settling_; }

    // Operation sequencer and commands.
    void SetButtonsIdle(int idle);
    void ContinueSequence(int success, int notify);
    bool CommandEnabled(Button button) const { return enabled_[Index(button)]; }
    bool AutoState(Button button) const { return settings_.AutoState(button); }
    // Marks or unmarks an auto-capable button for the Auto sequence; others stay unmarked.
    void SetAutoState(Button button, bool on);
    // Whether Auto runs a blank check after the erase (a front end's own mark, not in the record).
    void SetAutoBlank(bool on) { autoBlank_ = on; }
    // The blank check alone, as a command: "Chip is blank." or where the first programmed byte is.
    void OnBlank();
    const PendingSteps& pending() const { return pending_; }

    void OnCheck();
    void OnErase();
    void OnWrite();
    void OnRead();
    void OnVerify();
    void OnEncrypt();
    void OnAuto();
    void OnWriteBit();
    // The command line's sequence: the given steps after the Ready probe, as Auto runs them,
    // without emptying the Status list.
    void RunSteps(PendingSteps steps);

    // Files.
    void OnOpen(const std::string& path);  // the path chosen in the open dialog
    // The same, for a HEX file whose checksums and record lengths the operator chose to
    // ignore after its refusal; the Status list says so.
    void OpenIgnoringChecksums(const std::string& path);
    // Told the path of every image that reached Buffer1 whole (null: nobody).
    void SetImageLoaded(std::function<void(const std::string& path)> loaded) { imageLoaded_ = std::move(loaded); }
    // Remembers `path` for the Open step and shows it in the title, without loading it.
    void SelectImageFile(const std::string& path);
    // 1 when the image is in Buffer1, 0 when it could not be loaded; kLoadPending when the
    // worker reads it: the commands stay disabled until it is done, then the sequence goes on.
    int LoadImageFile();
    bool loadPending() const { return loadPending_; }
    void SetImageFileOptions(const ImageFileOptions& options) { imageFileOptions_ = options; }
    // Before a write: whether Buffer1's data fits the selected chip. When it does not, says
    // how far the data reaches and ends the sequence as a failure.
    bool ImageFitsChip();
    // Writes Intel HEX when `path` ends in ".hex", binary otherwise.
    SaveOutcome OnSave(const std::string& path);  // the path chosen in the save dialog
    int VerifyBuffers();
    const std::string& imagePath() const { return imagePath_; }
    const std::string& imageExt() const { return imageExt_; }

    // A chip the sequence must find in the socket: when Check identifies a chip with another
    // signature, the sequence ends there. Without one, the identified chip is used.
    void RequireChip(std::optional<int> index) { requiredChip_ = index; }

    // Stamps each chip's image before its write and hears of each run's end (not owned; null:
    // neither). The observer must outlive the console.
    void SetRunObserver(RunObserver* observer) { observer_ = observer; }
    // A run begins with a chip command and ends with its sequence. A front end that makes
    // several commands one run begins it itself and ends it with CloseRun; `failure` ends
    // a run that stopped outside the console (interrupted, no answer).
    void KeepRunsOpen() { keepRunsOpen_ = true; }
    void BeginRun();
    void CloseRun(const std::string& failure = {});

    int writeCounter() const { return writeCounter_; }
    bool verifyFlag() const { return verifyFlag_; }

    // A chip operation runs, or a sequence has steps still to start.
    bool Busy() const { return outstanding_ > 0 || settling_ || pending_.Any(); }
    // The step running now, in the job log's words ("write", "erase" ...); "ready" for the
    // probe that follows the programmer's start. Meaningful while Busy.
    const std::string& runningStep() const { return runningStep_; }
    // Cuts the running operation off: the back-end is stopped, the Status list says which
    // operation was cut off and "Stopped by the operator.", and the run ends as a failure.
    // With `restart` the back-end is started again, so the window goes on taking commands;
    // reports the stopped back-end posted before are dropped.
    void StopOperation(bool restart);

    // For front ends that wait for the end of a run: chip operations started whose ending
    // event has not been handled yet (a serial write also leaves its Ready probe's answer).
    int outstanding() const { return outstanding_; }
    bool initReported() const { return initReported_; }
    // Whether a failure has ended a sequence since start.
    bool failed() const { return failed_; }

private:
    static std::size_t Index(Button button) { return static_cast<std::size_t>(button); }

    int Chip() const { return view_.ChipSelection(); }
    // The chip the next operation is for; null when the catalogue has no such entry.
    const ChipRecord* SelectedChip() const;
    void Started() { ++outstanding_; }
    void Ended();
    void EndSettling();
    void ReportInitFailure(int code);
    void EndWrite();
    void EndRead();
    void ReportChipNotDetected();
    void ShowTransferProgress(const char* label);
    // A step a sequence can hold, with the name the job log gives it.
    struct SequenceStep {
        bool PendingSteps::*pending;
        void (Console::*start)();
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
    // The operator's edits in the Buffer1 view become the bytes to write.
    void TakeBuffer1FromView();
    void StartRead();
    void StartVerify();
    void StartBlankCheck();
    // What a read is for: Buffer2 alone, a comparison with Buffer1, or a blank check.
    enum class ReadPurpose { Show, Verify, BlankCheck };
    void StartReadBack(Button button, ReadPurpose purpose);
    // After a blank check's read: whether every byte of the chip's ROM is 0xFF; says which.
    int ReportBlank();
    // After an identification: whether the chip the sequence requires is in the socket.
    bool RequiredChipFound();
    void StartEncrypt();
    void IdentificationReport();
    void FinishTransfer(const char* caption);
    void StartCommand(bool PendingSteps::*step, Button button);
    // Before a write: the image fits the chip and the observer accepts it; else the
    // sequence has ended as a failure.
    bool ImageWritable();
    // Places the observer's stamp into Buffer1; false when it refused, ending the sequence.
    bool StampImage();
    void RecordFailure();
    // The sequence is over: the run ends too, unless the front end keeps it open or a
    // command's answer is still to come.
    void SequenceOver();
    int FailLoad(const std::string& line);
    int FailOpen(const std::string& reason);
    // The forced format, else the one the extension names; ByName when the content decides.
    ImageFormat FormatByName() const;
    // Shows a load's lines and messages, puts its image in Buffer1 and goes on with the sequence.
    int FinishImageLoad(const ImageLoad& load);
    void ShowListSetting(SettingItem item, int index, const std::string& text);
    void ShowProgrammerType(int type, const std::string& problem);
    void ShowSettingsProblems(const std::vector<SettingsModel::Problem>& problems);
    void ApplyPortMap(const PortMapRead& read);

    // Drops the reports a stopped back-end posted, up to the marker posted after it stopped.
    bool DroppedAfterStop(const Report& report);

    ProgrammerManager& manager_;
    View& view_;
    Timer& timer_;
    bool settling_ = false;
    std::deque<Report> held_;

    SettingsModel settings_;

    int lineCounter_ = 0;
    int currentPage_ = -1;  // not the Status page, so the first line brings it to the front

    PendingSteps pending_;
    std::array<bool, kButtonCount> enabled_{};
    int writeCounter_ = 0;
    bool verifyFlag_ = false;
    bool blankCheck_ = false;
    bool autoBlank_ = false;
    std::optional<int> requiredChip_;

    std::string imagePath_;
    std::string imageExt_;
    ImageFileOptions imageFileOptions_;
    Worker* worker_ = nullptr;
    bool loadPending_ = false;

    RunJournal journal_;
    RunObserver* observer_ = nullptr;
    bool keepRunsOpen_ = false;
    // The last status line that is not a frame, for the record of a failed run.
    std::string lastLine_;

    std::function<void(const std::string&)> imageLoaded_;
    std::string runningStep_;
    // What the back-end is started with again after a stop.
    EventSink* sink_ = nullptr;
    BackendFactory* factory_ = nullptr;
    bool droppingReports_ = false;

    int outstanding_ = 0;
    bool initReported_ = false;
    bool failed_ = false;
};

}  // namespace korvan
