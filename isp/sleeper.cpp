#include "isp/sleeper.h"

#include <thread>

namespace korvan {

void ThreadSleeper::Sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace korvan
