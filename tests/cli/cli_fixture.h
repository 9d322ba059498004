#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"

namespace korvan::testing {

struct CliResult {
    int status = -1;
    std::vector<std::string> lines;  // standard output
    std::string err;
};

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<nlohmann::json> JsonLines(const std::vector<std::string>& lines) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : lines) {
        objects.push_back(nlohmann::json::parse(line));  // throws, failing the test, on anything else
    }
    return objects;
}

// Runs the built korvan-cli with a program directory of its own.
class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(BuiltProgramDir() + "ChipList.chip", dir.file("ChipList.chip"));
        dir.Write("fw.hex", ":0300300002337A1E\r\n:0400000002003000CA\r\n:00000001FF\r\n");
        dir.Write("other.bin", std::string("\x11\x22\x33\x44", 4));
    }

    CliResult Cli(const std::string& arguments) {
        return Shell(BuiltProgramDir() + "korvan-cli --dir " + dir.dir() + " --timeout 20 " + arguments + " >" +
                     dir.file("stdout") + " 2>" + dir.file("stderr") + " </dev/null");
    }

    // Runs a shell command whose standard output and error go to the files "stdout" and "stderr".
    CliResult Shell(const std::string& command) {
        dir.Write("stdout", "");
        dir.Write("stderr", "");
        const int raw = std::system(command.c_str());
        CliResult run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.lines = Lines(dir.Read("stdout"));
        run.err = dir.Read("stderr");
        return run;
    }

    TempDir dir;
};

}  // namespace korvan::testing
