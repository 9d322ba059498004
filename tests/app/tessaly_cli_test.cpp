// The Tessaly executable's command-line form, run as a script would run it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using ::testing::HasSubstr;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class TessalyCommandLine : public ::testing::Test {
protected:
    RunResult Tessaly(const std::string& args, const std::string& environment = "") {
        const std::string command = environment + " " KORVAN_BIN_DIR "Tessaly " + args + " >" +
                                    work.file("out") + " 2>" + work.file("err") + " </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, work.Read("out"), work.Read("err")};
    }
    std::string Dir(const testing::TempDir& dir) { return "--dir " + dir.dir(); }

    testing::TempDir work;
    testing::TempDir program;
    const std::string shippedTable = KORVAN_SOURCE_DIR "engine/chips.tsv";
};

TEST_F(TessalyCommandLine, ImportExportAndListTheCatalogue) {
    const RunResult missing = Tessaly("--list " + Dir(program));
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("cannot read " + program.dir() + "ChipList.chip"));

    const RunResult imported = Tessaly("--import " + shippedTable, "KORVAN_HOME=" + program.dir());
    ASSERT_EQ(imported.status, 0) << imported.err;
    std::ifstream built(KORVAN_BIN_DIR "ChipList.chip", std::ios::binary);
    EXPECT_EQ(program.Read("ChipList.chip"), std::string(std::istreambuf_iterator<char>(built), {}));  // as mkchiplist made it

    ASSERT_EQ(Tessaly(Dir(program) + " --export " + work.file("table.tsv")).status, 0);
    testing::TempDir second;
    ASSERT_EQ(Tessaly(Dir(second) + " --import " + work.file("table.tsv")).status, 0);
    EXPECT_EQ(second.Read("ChipList.chip"), program.Read("ChipList.chip"));

    const RunResult listed = Tessaly(Dir(second) + " --list");
    EXPECT_EQ(listed.status, 0);
    EXPECT_THAT(listed.out, ::testing::StartsWith("  0  AT89C51               4K  12.00V  1e 51 ff\n"));
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 15);
}

TEST_F(TessalyCommandLine, BadTableOrUsageIsRefusedAndTheCatalogueKept) {
    ASSERT_EQ(Tessaly(Dir(program) + " --import " + shippedTable).status, 0);
    const std::string before = program.Read("ChipList.chip");
    work.Write("bad.tsv", "# chips\nAT89C51\t1 4 12 1E 51 FF\nAT89C52\t1 4 12 1E 52 FG\n");
    const RunResult bad = Tessaly(Dir(program) + " --import " + work.file("bad.tsv"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, HasSubstr("bad.tsv:3: signature must be three hex bytes"));
    EXPECT_EQ(program.Read("ChipList.chip"), before);

    EXPECT_EQ(Tessaly(Dir(program) + " --list --export x").status, 2);
    EXPECT_EQ(Tessaly(Dir(program) + " --import").status, 2);
    EXPECT_EQ(Tessaly("--dir " + work.file("nowhere") + " --list").status, 2);
    const RunResult help = Tessaly("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("--export TABLE"));
}

}  // namespace
}  // namespace korvan
