#pragma once

#include <chrono>
#include <deque>
#include <functional>

#include "console/timer.h"
#include "engine/event_sink.h"

namespace korvan {

// Where reports enter the console. Usually each passes straight on; while the programmer is
// given a moment to settle (after an erase), reports are held and passed on, in the order
// they came, once the moment is over.
class ReportGate {
public:
    ReportGate(Timer& timer, std::function<void(const Report&)> deliver)
        : timer_(timer), deliver_(std::move(deliver)) {}

    void Pass(const Report& report);
    // Holds every report for `pause`, measured by the timer.
    void HoldFor(std::chrono::milliseconds pause);
    bool holding() const { return holding_; }
    // A stopped back-end's reports still on their way are dropped: the held ones at once, the
    // rest up to kStopMarker (posted once it stopped; without one, all that come).
    void DropUntilMarker();
    static constexpr int kStopMarker = -1000;

private:
    void Release();

    Timer& timer_;
    std::function<void(const Report&)> deliver_;
    bool holding_ = false;
    bool dropping_ = false;
    std::deque<Report> held_;
};

}  // namespace korvan
