#include "console/run_journal.h"

namespace korvan {

void RunJournal::Begin() {
    outcome_ = RunOutcome{};
    outcome_.began = std::chrono::system_clock::now();
    open_ = true;
    stepOpen_ = false;
}

void RunJournal::StartStep(std::string name) {
    if (stepOpen_) {
        EndStep(true);
    }
    outcome_.steps.push_back({std::move(name), StepResult::NotRun, 0});
    stepStarted_ = Clock::now();
    stepOpen_ = true;
}

void RunJournal::EndStep(bool ok) {
    if (!stepOpen_) {
        return;
    }
    JobStep& step = outcome_.steps.back();
    step.result = ok ? StepResult::Ok : StepResult::Failed;
    step.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stepStarted_).count();
    stepOpen_ = false;
}

void RunJournal::NotRun(std::string name) { outcome_.steps.push_back({std::move(name), StepResult::NotRun, 0}); }

void RunJournal::Fail(const std::string& line) {
    if (outcome_.ok) {
        outcome_.ok = false;
        outcome_.failure = line;
    }
}

const RunOutcome& RunJournal::Close() {
    EndStep(outcome_.ok);
    open_ = false;
    return outcome_;
}

}  // namespace korvan
