#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/job_record.h"
#include "data/image.h"

namespace korvan {

// What one run came to, step by step: the part of a job record the console knows.
struct RunOutcome {
    std::chrono::system_clock::time_point began;
    std::vector<JobStep> steps;
    std::string imagePath;  // the image file opened last
    std::string chip;       // the catalogue name of the chip current at the end; empty: none
    ImageDigest image;      // of the bytes Buffer1 held at the end
    std::optional<Signature> signature;
    std::optional<std::uint64_t> serial;
    std::size_t mismatches = 0;
    bool ok = true;
    std::optional<std::string> failure;
};

// Follows a run as the console's sequencer drives it. A step ends when the next one starts,
// when the run ends, or when it fails; steps still pending at a failure were not run.
class RunJournal {
public:
    using Clock = std::chrono::steady_clock;

    void Begin();
    bool open() const { return open_; }
    void StartStep(std::string name);
    void EndStep(bool ok);
    void NotRun(std::string name);
    void SetSignature(const Signature& signature) { outcome_.signature = signature; }
    void SetSerial(std::uint64_t serial) { outcome_.serial = serial; }
    void SetMismatches(std::size_t count) { outcome_.mismatches = count; }
    void SetImagePath(const std::string& path) { outcome_.imagePath = path; }
    void SetChip(std::string name, ImageDigest image) {
        outcome_.chip = std::move(name);
        outcome_.image = std::move(image);
    }
    // The run failed with `line`; the first failure is the one kept.
    void Fail(const std::string& line);
    // Ends the run: a step still open counts as failed when the run failed.
    const RunOutcome& Close();

private:
    bool open_ = false;
    bool stepOpen_ = false;
    Clock::time_point stepStarted_;
    RunOutcome outcome_;
};

// What a front end adds to a run: a stamp placed in each chip's image just before it is
// written, and a record of each run when it ends. ImageProblem is called on the console's
// thread; StampImage and RunEnded, which may wait for files, on the console's worker when it
// has one, one call at a time and in the order of the runs.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    // Empty when `image` may be written, as the observer would stamp it, to a chip of
    // `romBytes`; else the status line that refuses the write, before anything is erased.
    virtual std::string ImageProblem(const Image& image, std::size_t romBytes) = 0;

    // Empty when a run that writes may begin; else the status line that refuses it before
    // anything is touched. Asked at every such run (on the worker, as StampImage), so that a
    // source of numbers out of reach at one run is tried again at the next.
    virtual std::string StartProblem() = 0;

    struct Stamp {
        std::optional<std::uint64_t> serial;
        std::string line;   // a status line saying what was placed; empty: none
        std::string error;  // the status line that refuses the write; empty when placed
    };
    // Places this chip's stamp into the bytes about to be written.
    virtual Stamp StampImage(Image& image) = 0;

    // The run has ended. Empty, or the status line saying why its record could not be kept,
    // which makes the run a failure.
    virtual std::string RunEnded(const RunOutcome& outcome) = 0;
};

}  // namespace korvan
