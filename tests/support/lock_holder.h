#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace korvan::testing {

// Another process holding an exclusive flock on `path` (created when missing) until Release
// or destruction, as a second run of the programs would.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
            char locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
            [[maybe_unused]] const ssize_t told = ::write(ready[1], &locked, 1);
            [[maybe_unused]] const ssize_t released = ::read(release[0], &locked, 1);  // the parent's end closes
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char locked = 0;
        held_ = pid_ > 0 && ::read(ready[0], &locked, 1) == 1 && locked == 1;
        ::close(ready[0]);
        releaseFd_ = release[1];
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool held() const { return held_; }

    void Release() {
        if (releaseFd_ < 0) {
            return;
        }
        ::close(releaseFd_);
        releaseFd_ = -1;
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool held_ = false;
};

}  // namespace korvan::testing
