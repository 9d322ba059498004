#include "console/report_gate.h"

namespace korvan {

void ReportGate::Pass(const Report& report) {
    if (dropping_) {
        const int* code = std::get_if<int>(&report);
        dropping_ = code == nullptr || *code != kStopMarker;
        return;
    }
    if (holding_) {
        held_.push_back(report);
        return;
    }
    deliver_(report);
}

void ReportGate::HoldFor(std::chrono::milliseconds pause) {
    holding_ = true;
    timer_.After(pause, [this] { Release(); });
}

void ReportGate::DropUntilMarker() {
    dropping_ = true;
    holding_ = false;
    held_.clear();
}

// A held report can start another pause (an erase in a sequence): the rest wait for it.
void ReportGate::Release() {
    holding_ = false;
    while (!holding_ && !held_.empty()) {
        const Report report = std::move(held_.front());
        held_.pop_front();
        deliver_(report);
    }
}

}  // namespace korvan
