#include "console/event_handler.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "engine/event_code.h"

namespace korvan {
namespace {

// Events that add one line and end the running step.
struct StepEnding {
    int code;
    const char* line;
    bool success;
    bool notify;
};

constexpr std::array<StepEnding, 7> kStepEndings = {{
    {SerialNotInitialized, "Serial Not Initialized.", false, true},
    {ProgrammerReady, "Programmer: Ready.", true, false},
    {ProgrammerUnusable, "Programmer: Unusable.", false, true},
    {DataReceivedError, "Data Received Error.", false, true},
    {EraseDone, "Programmer: Erase Done.", true, true},
    {LockBitDone, "Programmer: Write Lock Bit Done.", true, true},
    {ProgrammerError, "Programmer: Error.", false, true},
}};

}  // namespace

void EventHandler::EndStep(const char* line, bool success, bool notify) {
    status_.AddStatus(line);
    sequencer_.Ended();
    sequencer_.ContinueSequence(success, notify);
}

void EventHandler::HandleEvent(int code, const std::string& detail) {
    const auto ending = std::find_if(kStepEndings.begin(), kStepEndings.end(),
                                     [code](const StepEnding& candidate) { return candidate.code == code; });
    if (ending != kStepEndings.end()) {
        status_.AddStatus(ending->line);
        AddDetail(detail);
        sequencer_.Ended();
        sequencer_.ContinueSequence(ending->success, ending->notify);
        return;
    }
    switch (code) {
        case SerialInitFailed:
        case ParallelInitFailed:
            ReportInitFailure(code, detail);
            return;
        case SerialInitDone:
            initReported_ = true;
            status_.AddStatus("Initialize Serial Port Done.");
            sequencer_.ProbeReady();
            return;
        case ParallelInitDone:
            initReported_ = true;
            status_.AddStatus("Initialize Parallel Port Done.");
            return;
        case WriteStarted:
            status_.AddStatus("Programmer: Starts Writing.");
            status_.AddStatus("Write " + std::to_string(manager_.UsedLength(manager_.Buffer1().data(), kImageSize)) +
                              " Bytes...");
            return;
        case WriteDone:
            EndWrite();
            return;
        case ProgrammingError:
            status_.AddStatus("Programmer: Programming Error.");
            // A back-end that probes after a write ends the run with the probe's answer.
            if (!manager_.BackendProbesAfterWrite()) {
                sequencer_.Ended();
            }
            sequencer_.ContinueSequence(false, true);
            // After the failure is recorded: the run's failing line stays the one above.
            AddDetail(detail);
            return;
        case ReadStarted:
            status_.AddStatus("Programmer: Start Reading.");
            return;
        case ReadDone:
            EndRead();
            return;
        case ChipIdentified:
            ReportChipIdentified();
            return;
        case ChipNotDetected:
            ReportChipNotDetected();
            return;
        default:
            // Unassigned codes: 8 is ignored, anything outside the table ends a sequence. A
            // progress code says something only with its figures, in a progress report.
            if (code < 0 || code > kLastEventCode) {
                sequencer_.ContinueSequence(false, true);
            }
            return;
    }
}

// What the back-end found wrong, right under the line that says something is.
void EventHandler::AddDetail(const std::string& detail) {
    if (!detail.empty()) {
        status_.AddStatus(detail);
    }
}

void EventHandler::ShowProgress(const Progress& progress) {
    if (progress.code == WritingProgress || progress.code == ReadingProgress) {
        status_.ShowTransfer(progress.code == WritingProgress ? "WRITING" : "READING", progress.done, progress.total);
    }
}

void EventHandler::ReportInitFailure(int code, const std::string& detail) {
    initReported_ = true;
    status_.AddStatus(code == SerialInitFailed ? "Initialize Serial Port Failed." : "Initialize Parallel Port Failed.");
    AddDetail(detail);
    sequencer_.ContinueSequence(false, true);
}

void EventHandler::EndWrite() {
    status_.AddStatus("Programmer: Writing Done.");
    status_.FinishTransfer("Programming Done");
    if (sequencer_.WriteEnded()) {
        sequencer_.ContinueSequence(true, true);
    }
}

void EventHandler::EndRead() {
    status_.AddStatus("Programmer: Reading Done.");
    status_.FinishTransfer("Reading Done");
    buffers_.buffer2.Replaced();
    status_.AddStatus("Data in Buffer2.");
    const bool success = sequencer_.JudgeRead();
    sequencer_.Ended();
    sequencer_.ContinueSequence(success, true);
}

void EventHandler::ReportChipIdentified() {
    recorder_.SetSignature(manager_.signature());
    sequencer_.SelectChip(manager_.currentChipIndex());
    IdentificationReport();
    sequencer_.Ended();
    sequencer_.ContinueSequence(sequencer_.RequiredChipFound(), true);
}

void EventHandler::IdentificationReport() {
    const Signature signature = manager_.signature();
    char line[160];
    std::snprintf(line, sizeof line, "Programmer: Chip(Code: %02x %02x %02x).", signature[0], signature[1],
                  signature[2]);
    status_.AddStatus(line);
    if (const ChipRecord* chip = manager_.CurrentChip()) {
        std::snprintf(line, sizeof line, " - ROM Size: %dK Bytes. Programming Voltage: %.2fV.",
                      static_cast<int>(chip->romSizeKiB), static_cast<double>(chip->programmingVoltage));
        status_.AddStatus(chip->name + line);
    }
}

void EventHandler::ReportChipNotDetected() {
    const Signature signature = manager_.signature();
    recorder_.SetSignature(signature);
    char line[80];
    std::snprintf(line, sizeof line, "Programmer:Chip Not Detected(Code: %02x %02x %02x).", signature[0], signature[1],
                  signature[2]);
    EndStep(line, false, true);
}

}  // namespace korvan
