#include "console/run_recorder.h"

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

std::string RunRecorder::Close(const std::string& failure, const std::string& imagePath) {
    if (!journal_.open()) {
        return {};
    }
    if (!failure.empty()) {
        journal_.EndStep(false);
        journal_.Fail(failure);
    }
    journal_.SetImagePath(imagePath);
    const RunOutcome& outcome = journal_.Close();
    return observer_ != nullptr ? observer_->RunEnded(outcome) : std::string();
}

std::string RunRecorder::ImageProblem(const Image& image, std::size_t romBytes) const {
    return observer_ != nullptr ? observer_->ImageProblem(image, romBytes) : std::string();
}

RunObserver::Stamp RunRecorder::Stamp(Image& image) {
    if (observer_ == nullptr) {
        return {};
    }
    RunObserver::Stamp stamp = observer_->StampImage(image);
    if (stamp.serial) {
        journal_.SetSerial(*stamp.serial);
    }
    return stamp;
}

}  // namespace korvan
