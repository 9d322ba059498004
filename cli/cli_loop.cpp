#include "cli/cli_loop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>

namespace korvan {
namespace {

sigset_t SignalSet() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t signals = SignalSet();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    fd_ = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int StopSignals::Take() {
    signalfd_siginfo info{};
    if (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}

CliLoop::CliLoop() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CliLoop::~CliLoop() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void CliLoop::Interrupt(int signal) {
    int none = 0;
    if (signal_.compare_exchange_strong(none, signal)) {
        Wake();
    }
}

void CliLoop::PostEvent(int code) {
    queue_.PostEvent(code);
    Wake();
}

void CliLoop::PostMessage(Message message) {
    queue_.PostMessage(std::move(message));
    Wake();
}

void CliLoop::Wake() {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, and a full counter wakes the loop as well.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void CliLoop::Sleep(std::chrono::milliseconds timeout) {
    pollfd watched{wakeFd_, POLLIN, 0};
    ::poll(&watched, 1, static_cast<int>(timeout.count()));
    // Drained before the queue is read again: a report posted after this still sets the
    // counter, so the next sleep returns at once.
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(wakeFd_, &count, sizeof count);
}

CliLoop::Outcome CliLoop::RunUntil(const std::function<bool()>& done,
                                   const std::function<void(const Report&)>& handle,
                                   const std::function<void()>& beforeWait, std::chrono::milliseconds silence) {
    using Clock = TimerQueue::Clock;
    auto silentSince = Clock::now();
    for (;;) {
        if (signal_.load() != 0) {
            return Outcome::Interrupted;
        }
        timer_.RunDue();
        while (const std::optional<Report> report = queue_.TryPop()) {
            handle(*report);
            silentSince = Clock::now();
        }
        if (done()) {
            // A report handled as the signal came may have ended its command because of it.
            return signal_.load() != 0 ? Outcome::Interrupted : Outcome::Done;
        }
        beforeWait();
        const auto now = Clock::now();
        const auto giveUp = silentSince + silence;
        if (now >= giveUp) {
            return Outcome::Silent;
        }
        const auto wakeUp = std::min(giveUp, timer_.NextDue().value_or(giveUp));
        Sleep(std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeUp - now, Clock::duration::zero())));
    }
}

}  // namespace korvan
