#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/job_log.h"
#include "data/serial_counter.h"
#include "data/serial_number.h"
#include "data/text.h"
#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using korvan::testing::TempDir;

constexpr std::uint64_t kAllOnes = std::numeric_limits<std::uint64_t>::max();

SerialNumberPlacement Placement(const std::string& text) {
    const ParsedPlacement parsed = ParseSerialNumberPlacement(text);
    if (!parsed.placement) {
        ADD_FAILURE() << text << ": " << parsed.error;
        return {};
    }
    return *parsed.placement;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(SerialNumber, EncodesEachLayoutUpToItsLargestNumber) {
    struct Case {
        std::string placement;
        std::uint64_t number;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"0:2:le", 0x1234, {0x34, 0x12}},
        {"0:2:be", 0x1234, {0x12, 0x34}},
        {"0:3:le", 0xABCDEF, {0xEF, 0xCD, 0xAB}},
        {"0:1:le", 0, {0x00}},
        {"0:8:le", kAllOnes, std::vector<std::uint8_t>(8, 0xFF)},
        {"0:8:be", 0x0102030405060708, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"0:3:bcd", 12345, {0x01, 0x23, 0x45}},
        {"0:1:bcd", 99, {0x99}},
        {"0:10:bcd", kAllOnes, {0x18, 0x44, 0x67, 0x44, 0x07, 0x37, 0x09, 0x55, 0x16, 0x15}},
        {"0:5:ascii", 42, Bytes("00042")},
        {"0:20:ascii", kAllOnes, Bytes("18446744073709551615")},
    };
    for (const Case& c : cases) {
        const EncodedSerialNumber encoded = EncodeSerialNumber(Placement(c.placement), c.number);
        EXPECT_EQ(encoded.error, "") << c.placement;
        EXPECT_EQ(encoded.bytes, c.bytes) << c.placement;
    }

    const std::vector<std::pair<std::string, std::uint64_t>> largest = {
        {"0:1:le", 0xFF},       {"0:7:be", 0xFFFFFFFFFFFFFF}, {"0:8:be", kAllOnes},
        {"0:1:bcd", 99},        {"0:9:bcd", 999999999999999999}, {"0:10:bcd", kAllOnes},
        {"0:3:ascii", 999},     {"0:19:ascii", 9999999999999999999U}, {"0:20:ascii", kAllOnes},
    };
    for (const auto& [text, max] : largest) {
        const SerialNumberPlacement placement = Placement(text);
        EXPECT_EQ(MaxSerialNumber(placement), max) << text;
        EXPECT_EQ(EncodeSerialNumber(placement, max).error, "") << text;
        if (max != kAllOnes) {
            const EncodedSerialNumber tooBig = EncodeSerialNumber(placement, max + 1);
            EXPECT_TRUE(tooBig.bytes.empty()) << text;
            EXPECT_NE(tooBig.error.find(std::to_string(max + 1)), std::string::npos) << tooBig.error;
        }
    }
    EXPECT_EQ(EncodeSerialNumber(Placement("0:1:bcd"), 1000).error, "serial number 1000 does not fit in 1 BCD byte");
}

TEST(SerialNumber, PlacementsAreParsedAndRefused) {
    const SerialNumberPlacement hex = Placement("0x1ff0:4:bcd");
    EXPECT_EQ(hex.address, 0x1FF0U);
    EXPECT_EQ(hex.bytes, 4);
    EXPECT_EQ(hex.format, SerialFormat::Bcd);
    EXPECT_EQ(DescribePlacement(hex), "0x1FF0:4:bcd");
    EXPECT_EQ(DescribePlacement(Placement(DescribePlacement(Placement("65534:2:be")))), "0xFFFE:2:be");
    EXPECT_EQ(Placement("0xFFEC:20:ascii").bytes, 20);

    for (const std::string text :
         {"0:0:le", "0:9:le", "0:9:be", "0:11:bcd", "0:21:ascii", "0xFFFF:2:le", "0x10000:1:le", "0xFFED:20:ascii",
          "4294967297:1:le", "0:1:LEX", "0:1:", "0:1", "0:1:le:2", "", "garbage", "0x:1:le", "-1:1:le", "0:-1:le",
          " 0:1:le", "0:1:le ", "0:0x2:be"}) {
        const ParsedPlacement parsed = ParseSerialNumberPlacement(text);
        EXPECT_FALSE(parsed.placement.has_value()) << '"' << text << '"';
        EXPECT_NE(parsed.error.find(text), std::string::npos) << parsed.error;
    }
}

TEST(SerialNumber, AreaMustBeBlankUnlessOverwriting) {
    const SerialNumberPlacement placement = Placement("0x1FF0:4:le");
    Image image;
    ClearImage(image);
    image[0x1FEF] = 0x00;
    image[0x1FF4] = 0x00;
    EXPECT_EQ(SerialAreaProblem(placement, image, false), "");
    image[0x1FF2] = 0x7F;
    image[0x1FF3] = 0x00;
    const std::string problem = SerialAreaProblem(placement, image, false);
    EXPECT_NE(problem.find("0x1FF2"), std::string::npos) << problem;
    EXPECT_EQ(problem.find("0x1FF3"), std::string::npos) << problem;
    EXPECT_EQ(SerialAreaProblem(placement, image, true), "");
}

// Runs `body` in a child process that leaves by _exit, never back into the test runner.
pid_t StartChild(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool ok = false;
        try {
            ok = body();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    return pid;
}

bool ExitedCleanly(pid_t pid) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// About 300 bytes, different for each writer and index.
std::string LogLine(char tag, int index) {
    std::string line = std::string(1, tag) + " " + std::to_string(index) + " ";
    line.append(300 - line.size(), static_cast<char>('a' + index % 26));
    return line;
}

TEST(JobLog, ConcurrentWritersLeaveOnlyWholeLines) {
    const TempDir dir;
    const std::string path = dir.file("jobs.jsonl");
    constexpr int kLinesEach = 1000;
    const std::string tags = "AB";
    std::vector<pid_t> writers;
    for (const char tag : tags) {
        writers.push_back(StartChild([&path, tag] {
            for (int index = 0; index < kLinesEach; ++index) {
                if (!AppendLogLine(path, LogLine(tag, index)).empty()) {
                    return false;
                }
            }
            return true;
        }));
    }
    for (const pid_t writer : writers) {
        EXPECT_TRUE(ExitedCleanly(writer));
    }

    const std::string content = dir.Read("jobs.jsonl");
    ASSERT_FALSE(content.empty());
    EXPECT_EQ(content.back(), '\n');
    const std::vector<std::string> lines = SplitLines(content);
    EXPECT_EQ(lines.size(), tags.size() * kLinesEach);
    std::set<std::pair<char, int>> seen;
    for (const std::string& line : lines) {
        int index = -1;
        if (line.size() > 2) {
            std::from_chars(line.data() + 2, line.data() + line.size(), index);
        }
        ASSERT_EQ(line, LogLine(line[0], index)) << "line " << seen.size();
        EXPECT_TRUE(seen.emplace(line[0], index).second) << line.substr(0, 8);
    }
    EXPECT_EQ(seen.size(), tags.size() * kLinesEach);
}

TEST(JobLog, UnwritablePathIsNamed) {
    const TempDir dir;
    const std::string missingDir = dir.file("no-such-dir/jobs.jsonl");
    EXPECT_NE(AppendLogLine(missingDir, "{}").find(missingDir), std::string::npos);
    EXPECT_NE(AppendLogLine(dir.path().string(), "{}").find(dir.path().string()), std::string::npos);
    ASSERT_EQ(AppendLogLine(dir.file("jobs.jsonl"), "{\"a\":1}"), "");
    ASSERT_EQ(AppendLogLine(dir.file("jobs.jsonl"), "{\"a\":2}"), "");
    EXPECT_EQ(dir.Read("jobs.jsonl"), "{\"a\":1}\n{\"a\":2}\n");
}

TEST(SerialCounter, StartsAdvancesAndRefuses) {
    const TempDir dir;
    const std::string path = dir.file("serial.txt");
    EXPECT_EQ(PeekSerialNumber(path, 100).number, 100U);
    EXPECT_EQ(TakeSerialNumber(path, 100, 1000).number, 100U);
    EXPECT_EQ(dir.Read("serial.txt"), "101\n");
    EXPECT_EQ(TakeSerialNumber(path, 5, 1000).number, 101U);
    EXPECT_EQ(PeekSerialNumber(path, 5).number, 102U);

    dir.Write("serial.txt", "1000\n");
    EXPECT_EQ(TakeSerialNumber(path, 1, 1000).number, 1000U);
    const TakenSerialNumber beyond = TakeSerialNumber(path, 1, 1000);
    EXPECT_FALSE(beyond.number.has_value());
    EXPECT_NE(beyond.error.find(path), std::string::npos) << beyond.error;
    EXPECT_EQ(dir.Read("serial.txt"), "1001\n");

    for (const std::string bad : {"", "\n", "12x\n", "1 2\n", "-3\n", "0x10\n", "99999999999999999999\n"}) {
        dir.Write("serial.txt", bad);
        const TakenSerialNumber taken = TakeSerialNumber(path, 1, kAllOnes);
        EXPECT_FALSE(taken.number.has_value()) << '"' << bad << '"';
        EXPECT_NE(taken.error.find(path), std::string::npos) << taken.error;
        EXPECT_FALSE(PeekSerialNumber(path, 1).number.has_value());
        EXPECT_EQ(dir.Read("serial.txt"), bad);
    }
}

std::vector<std::uint64_t> ReadNumbers(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::uint64_t> numbers;
    for (std::uint64_t number = 0; in >> number;) {
        numbers.push_back(number);
    }
    return numbers;
}

TEST(SerialCounter, ConcurrentProcessesShareOneSequence) {
    const TempDir dir;
    const std::string path = dir.file("serial.txt");
    constexpr int kTakers = 4;
    constexpr int kTakesEach = 200;
    std::vector<pid_t> takers;
    for (int taker = 0; taker < kTakers; ++taker) {
        const std::string out = dir.file("taken-" + std::to_string(taker));
        takers.push_back(StartChild([&path, out] {
            std::ofstream numbers(out);
            for (int i = 0; i < kTakesEach; ++i) {
                const TakenSerialNumber taken = TakeSerialNumber(path, 1, kAllOnes);
                if (!taken.number) {
                    return false;
                }
                numbers << *taken.number << '\n';
            }
            return static_cast<bool>(numbers.flush());
        }));
    }
    std::vector<std::uint64_t> all;
    for (int taker = 0; taker < kTakers; ++taker) {
        EXPECT_TRUE(ExitedCleanly(takers[static_cast<std::size_t>(taker)]));
        const std::vector<std::uint64_t> numbers = ReadNumbers(dir.file("taken-" + std::to_string(taker)));
        EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kTakesEach));
        all.insert(all.end(), numbers.begin(), numbers.end());
    }
    std::sort(all.begin(), all.end());
    std::vector<std::uint64_t> expected(kTakers * kTakesEach);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(all, expected);
    EXPECT_EQ(dir.Read("serial.txt"), std::to_string(kTakers * kTakesEach + 1) + "\n");
}

bool ReadNumber(int fd, std::uint64_t& number) {
    return ::read(fd, &number, sizeof number) == static_cast<ssize_t>(sizeof number);
}

TEST(SerialCounter, KilledTakerNeverCausesARepeat) {
    const TempDir dir;
    const std::string path = dir.file("serial.txt");
    std::vector<std::uint64_t> given;
    for (int round = 0; round < 4; ++round) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t taker = StartChild([&path, &pipeEnds] {
            ::close(pipeEnds[0]);
            for (;;) {
                const TakenSerialNumber taken = TakeSerialNumber(path, 1, kAllOnes);
                if (!taken.number || ::write(pipeEnds[1], &*taken.number, sizeof *taken.number) < 0) {
                    return false;
                }
            }
        });
        ::close(pipeEnds[1]);
        // Kill at a different point each round; numbers reported before the kill still count.
        const std::size_t killAfter = 10 + 7 * static_cast<std::size_t>(round);
        std::uint64_t number = 0;
        std::size_t reported = 0;
        while (reported < killAfter && ReadNumber(pipeEnds[0], number)) {
            given.push_back(number);
            ++reported;
        }
        ::kill(taker, SIGKILL);
        int status = 0;
        EXPECT_EQ(::waitpid(taker, &status, 0), taker);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "taker stopped by itself";
        while (ReadNumber(pipeEnds[0], number)) {
            given.push_back(number);
        }
        ::close(pipeEnds[0]);
        EXPECT_EQ(reported, killAfter);

        const TakenSerialNumber next = PeekSerialNumber(path, 1);
        ASSERT_TRUE(next.number.has_value()) << next.error;
        for (int i = 0; i < 3; ++i) {
            const TakenSerialNumber taken = TakeSerialNumber(path, 1, kAllOnes);
            ASSERT_TRUE(taken.number.has_value()) << taken.error;
            given.push_back(*taken.number);
        }
    }
    std::sort(given.begin(), given.end());
    EXPECT_EQ(std::adjacent_find(given.begin(), given.end()), given.end()) << "a number was given twice";
}

}  // namespace
}  // namespace korvan

namespace korvan::testing {
namespace {

// Every number the settings files and the command line carry goes through this one parser.
TEST(ParseWhole, TakesOnlyTheWholeTextAsANumberThatFits) {
    EXPECT_EQ(ParseWhole<int>("42"), 42);
    EXPECT_EQ(ParseWhole<int>("-7"), -7);
    EXPECT_EQ(ParseWhole<std::uint64_t>("ff", 16), 0xFFU);
    EXPECT_EQ(ParseWhole<double>("5.25"), 5.25);
    for (const char* refused : {"", " 42", "42 ", "4x2", "0x10", "+1"}) {
        EXPECT_EQ(ParseWhole<int>(refused), std::nullopt) << '"' << refused << '"';
    }
    EXPECT_EQ(ParseWhole<std::uint8_t>("256"), std::nullopt);
    EXPECT_EQ(ParseWhole<std::uint8_t>("255"), 255);
    EXPECT_EQ(ParseWhole<std::uint64_t>("-1"), std::nullopt);
}

}  // namespace
}  // namespace korvan::testing
