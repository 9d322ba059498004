#include "console/run_recorder.h"

#include <memory>

namespace korvan {

void RunRecorder::Begin() {
    if (!journal_.open()) {
        journal_.Begin();
    }
}

void RunRecorder::StartStep(const char* name) {
    if (journal_.open()) {
        journal_.StartStep(name);
    }
}

void RunRecorder::RecordFailure(const std::string& lastLine, const std::vector<const char*>& notRun) {
    if (!journal_.open()) {
        return;
    }
    journal_.EndStep(false);
    journal_.Fail(lastLine);
    for (const char* name : notRun) {
        journal_.NotRun(name);
    }
}

void RunRecorder::Dispatch(std::function<void()> work, std::function<void()> done) {
    if (worker_ == nullptr) {
        work();
        done();
        return;
    }
    worker_->Run(std::move(work), std::move(done));
}

void RunRecorder::Close(const std::string& failure, const std::string& imagePath, std::string chip,
                        ImageDigest image, RecordDone done) {
    if (!journal_.open()) {
        return;
    }
    if (!failure.empty()) {
        journal_.EndStep(false);
        journal_.Fail(failure);
    }
    journal_.SetImagePath(imagePath);
    journal_.SetChip(std::move(chip), std::move(image));
    const RunOutcome& outcome = journal_.Close();
    if (observer_ == nullptr) {
        return;
    }
    auto problem = std::make_shared<std::string>();
    Dispatch([observer = observer_, outcome, problem] { *problem = observer->RunEnded(outcome); },
             [problem, done = std::move(done)] { done(*problem); });
}

std::string RunRecorder::ImageProblem(const Image& image, std::size_t romBytes) const {
    return observer_ != nullptr ? observer_->ImageProblem(image, romBytes) : std::string();
}

void RunRecorder::CheckStart(StartChecked done) {
    if (observer_ == nullptr) {
        done({});
        return;
    }
    auto problem = std::make_shared<std::string>();
    Dispatch([observer = observer_, problem] { *problem = observer->StartProblem(); },
             [problem, done = std::move(done)] { done(*problem); });
}

void RunRecorder::Stamp(const Image& image, StampDone done) {
    if (observer_ == nullptr) {
        done({}, image);
        return;
    }
    auto stamped = std::make_shared<Image>(image);
    auto stamp = std::make_shared<RunObserver::Stamp>();
    Dispatch([observer = observer_, stamped, stamp] { *stamp = observer->StampImage(*stamped); },
             [this, stamped, stamp, done = std::move(done)] {
                 if (stamp->serial) {
                     journal_.SetSerial(*stamp->serial);
                 }
                 done(*stamp, *stamped);
             });
}

}  // namespace korvan
