#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "data/job_log.h"
#include "data/profile.h"
#include "data/read_file.h"
#include "data/serial_counter.h"
#include "tests/support/lock_holder.h"
#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using korvan::testing::LockHolder;
using korvan::testing::TempDir;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kAllOnes = std::numeric_limits<std::uint64_t>::max();

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs `checks` in a child process, which a check that blocks cannot take the test runner
// down with. The number of the first check that failed (from 1), 0 when all passed, -1 when
// the child was still running at the deadline.
int FirstFailingCheckInChild(const std::vector<std::function<bool()>>& checks, std::chrono::seconds deadline) {
    const pid_t child = ::fork();
    if (child == 0) {
        for (std::size_t index = 0; index < checks.size(); ++index) {
            if (!checks[index]()) {
                ::_exit(static_cast<int>(index) + 1);
            }
        }
        ::_exit(0);
    }
    const Clock::time_point giveUp = Clock::now() + deadline;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() >= giveUp) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        ::poll(nullptr, 0, 10);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// FIFOs (neither end open), directories and devices are refused at once with their kind, and
// nothing is written over them; a file past the size limit is refused as too large.
TEST(HostileFiles, OnlyRegularFilesOfBoundedSizeAreReadOrWritten) {
    const TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string folder = dir.path().string();
    const std::vector<std::function<bool()>> checks = {
        [&] {
            const FileText read = ReadWholeFile(fifo);
            return read.error == EINVAL && read.reason == "it is a FIFO, not a regular file";
        },
        [&] { return AppendLogLine(fifo, "{}") == "cannot open " + fifo + ": it is a FIFO, not a regular file"; },
        [&] {
            const TakenSerialNumber taken = TakeSerialNumber(fifo, 1, kAllOnes);
            return !taken.number && taken.error == "cannot read " + fifo + ": it is a FIFO, not a regular file";
        },
        [&] { return !PeekSerialNumber(fifo, 1).number; },
        [&] { return profile::ReadString(fifo, "Production", "JobLog", "none", 100) == "none"; },
        [&] { return !profile::WriteString(fifo, "Production", "JobLog", "x"); },
        [&] { return Has(AppendLogLine(folder, "{}"), folder + ": Is a directory"); },
        [&] { return ReadWholeFile("/dev/zero").reason == "it is a device, not a regular file"; },
        [&] { return Has(TakeSerialNumber("/dev/zero", 1, kAllOnes).error, "it is a device"); },
    };
    EXPECT_EQ(FirstFailingCheckInChild(checks, std::chrono::seconds(20)), 0);
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    dir.Write("big.ini", std::string(kSettingsFileLimit, ';'));
    EXPECT_EQ(ReadWholeFile(dir.file("big.ini")).error, 0);
    dir.Write("big.ini", "[Production]\nJobLog=x\n" + std::string(kSettingsFileLimit, ';'));
    const FileText tooBig = ReadWholeFile(dir.file("big.ini"));
    EXPECT_EQ(tooBig.error, EFBIG);
    EXPECT_EQ(tooBig.reason, "it is larger than 1 MiB");
    EXPECT_TRUE(tooBig.text.empty());
    EXPECT_EQ(profile::ReadString(dir.file("big.ini"), "Production", "JobLog", "none", 100), "none");
    EXPECT_FALSE(profile::WriteString(dir.file("big.ini"), "Production", "JobLog", "y"));
    EXPECT_EQ(ReadWholeFile(dir.file("big.ini"), 32).reason, "it is larger than 32 bytes");
}

// Another process keeps the lock: the wait says so once, ends at its limit or at once when
// cancelled, and neither the log nor the counter changes.
TEST(FileLock, HeldLockIsWaitedForBoundedAndCancellable) {
    const TempDir dir;
    const std::string log = dir.file("job.log");
    const std::string counter = dir.file("serial.txt");
    dir.Write("job.log", "{\"serial\":1}\n");
    dir.Write("serial.txt", "7\n");

    for (const std::string& locked : {log, counter + ".lock"}) {
        LockHolder holder(locked);
        ASSERT_TRUE(holder.held());
        const auto attempt = [&](const LockWait& wait) {
            return locked == log ? AppendLogLine(log, "{\"serial\":2}", wait)
                                 : TakeSerialNumber(counter, 1, kAllOnes, wait).error;
        };
        const std::string name = locked == log ? log : counter;

        int told = 0;
        LockWait bounded;
        bounded.limit = std::chrono::milliseconds(300);
        bounded.quiet = std::chrono::milliseconds(100);
        bounded.waiting = [&] { ++told; };
        const Clock::time_point began = Clock::now();
        EXPECT_EQ(attempt(bounded), "another run has held " + name + " for 0.3 s");
        EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(300));
        EXPECT_EQ(told, 1);

        std::atomic<bool> cancel{false};
        LockWait cancellable;
        cancellable.limit = std::chrono::seconds(60);
        cancellable.quiet = std::chrono::milliseconds(0);
        cancellable.waiting = [&] { cancel = true; };
        cancellable.cancelled = [&] { return cancel.load(); };
        const Clock::time_point asked = Clock::now();
        EXPECT_EQ(attempt(cancellable), "interrupted while waiting for " + name);
        EXPECT_LT(Clock::now() - asked, std::chrono::seconds(5));

        EXPECT_EQ(dir.Read("job.log").size(), locked == log ? 13U : 26U);
        EXPECT_EQ(dir.Read("serial.txt"), "7\n");
        holder.Release();
        EXPECT_EQ(attempt(cancellable), "");
    }
    EXPECT_EQ(dir.Read("job.log"), "{\"serial\":1}\n{\"serial\":2}\n");
    EXPECT_EQ(dir.Read("serial.txt"), "8\n");
}

// Stations whose counters are links to one shared file take one sequence from it, and their
// links stay links.
TEST(SerialCounter, LinksToOneCounterShareItsNumbers) {
    const TempDir dir;
    std::filesystem::create_directory(dir.file("station"));
    std::filesystem::create_directory_symlink(dir.path(), dir.file("alias"));
    std::filesystem::create_symlink("shared.txt", dir.file("a.txt"));
    std::filesystem::create_symlink("../a.txt", dir.file("station/b.txt"));
    const std::vector<std::string> names = {dir.file("a.txt"), dir.file("station/b.txt"), dir.file("alias/shared.txt"),
                                            dir.file("shared.txt")};
    constexpr int kTakesEach = 50;
    std::vector<pid_t> takers;
    for (std::size_t taker = 0; taker < names.size(); ++taker) {
        const std::string out = dir.file("taken-" + std::to_string(taker));
        const std::string name = names[taker];
        takers.push_back(::fork());
        if (takers.back() == 0) {
            std::ofstream numbers(out);
            for (int i = 0; i < kTakesEach; ++i) {
                const TakenSerialNumber taken = TakeSerialNumber(name, 1, kAllOnes);
                if (!taken.number) {
                    ::_exit(1);
                }
                numbers << *taken.number << '\n';
            }
            ::_exit(numbers.flush() ? 0 : 1);
        }
    }
    std::multiset<std::uint64_t> all;
    for (std::size_t taker = 0; taker < names.size(); ++taker) {
        int status = 0;
        ASSERT_EQ(::waitpid(takers[taker], &status, 0), takers[taker]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << names[taker];
        std::ifstream in(dir.file("taken-" + std::to_string(taker)));
        for (std::uint64_t number = 0; in >> number;) {
            all.insert(number);
        }
    }
    const std::size_t total = names.size() * kTakesEach;
    EXPECT_EQ(all.size(), total);
    EXPECT_EQ(std::set<std::uint64_t>(all.begin(), all.end()).size(), total) << "a number was given twice";
    EXPECT_EQ(*all.rbegin(), total);
    EXPECT_EQ(dir.Read("shared.txt"), std::to_string(total + 1) + "\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("a.txt")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("station/b.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt.lock")));
    EXPECT_EQ(RealFilePath(dir.file("station/b.txt")), std::filesystem::canonical(dir.path()).string() + "/shared.txt");
}

}  // namespace
}  // namespace korvan
