#pragma once

#include <functional>

namespace korvan {

// Runs slow work (reading a large file) away from the console's thread, so that the thread
// never waits for it. Each front end that has a thread to spare provides one; without one the
// console does the work itself.
//
// Lifetime: an implementation owns its thread. Destroying it runs every `work` given to it (a
// run's record must not be lost at exit) and drops every `done` not yet delivered, so a `done`
// never runs after its worker is gone: the owner destroys the worker before the console that
// handed it the callbacks, and before anything the queued work uses.
class Worker {
public:
    virtual ~Worker() = default;
    // Runs `work` on another thread, then `done` on the console's thread. `work` touches only
    // what it was given; `done` may use the console.
    virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
};

}  // namespace korvan
