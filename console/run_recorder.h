#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "console/run_journal.h"
#include "console/worker.h"
#include "data/image.h"

namespace korvan {

// The console's account of each run: its journal, and the observer that stamps each chip's
// image and keeps each run's record. A run begins with a chip command and ends with its
// sequence, unless the front end keeps runs open and closes them itself.
class RunRecorder {
public:
    // Not owned; null: no stamps and no records. The observer must outlive the recorder.
    void SetObserver(RunObserver* observer) { observer_ = observer; }
    // The observer's stamps and records, which may wait for files, are made by `worker` (not
    // owned; null: on the console's thread, before the call returns).
    void SetWorker(Worker* worker) { worker_ = worker; }
    void KeepRunsOpen() { keepRunsOpen_ = true; }
    bool keepsRunsOpen() const { return keepRunsOpen_; }

    // Begins a run unless one is open.
    void Begin();
    bool open() const { return journal_.open(); }
    // Starts step `name` of the open run, ending the one before as done; nothing without a run.
    void StartStep(const char* name);
    void EndStep(bool ok) { journal_.EndStep(ok); }
    // A sequence failed with `lastLine` shown last: the step running failed, and the steps
    // in `notRun` were never started. Nothing without a run.
    void RecordFailure(const std::string& lastLine, const std::vector<const char*>& notRun);
    void SetSignature(const Signature& signature) { journal_.SetSignature(signature); }
    void SetSerial(std::uint64_t serial) { journal_.SetSerial(serial); }
    void SetMismatches(std::size_t count) { journal_.SetMismatches(count); }

    // Ends the open run (`failure`, when not empty, is why it stopped) with the image file
    // opened last, the chip current and the image. `done` hears, on the console's thread,
    // the status line saying why its record could not be kept; never when there is no run.
    using RecordDone = std::function<void(const std::string& problem)>;
    void Close(const std::string& failure, const std::string& imagePath, std::string chip, ImageDigest image,
               RecordDone done);

    // Asks the observer whether a run that writes may begin; `done` hears the refusing line (empty:
    // it may) on the console's thread.
    using StartChecked = std::function<void(const std::string& problem)>;
    void CheckStart(StartChecked done);

    // Empty when `image` may be written to a chip of `romBytes`; else the line refusing it.
    std::string ImageProblem(const Image& image, std::size_t romBytes) const;
    // Places this chip's stamp into a copy of `image`; `done` gets the stamp and the stamped
    // bytes on the console's thread, once the serial number is noted in the run.
    using StampDone = std::function<void(const RunObserver::Stamp& stamp, const Image& stamped)>;
    void Stamp(const Image& image, StampDone done);

private:
    // Runs `work` on the worker and `done` after it on the console's thread; both at once without one.
    void Dispatch(std::function<void()> work, std::function<void()> done);

    RunJournal journal_;
    RunObserver* observer_ = nullptr;
    Worker* worker_ = nullptr;
    bool keepRunsOpen_ = false;
};

}  // namespace korvan
