// The Tessaly executable's command-line form, run as a script would run it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

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

// Tables and export targets that are not plain files are refused at once; nothing that is not
// a table is replaced by one, and the catalogue never loses its chips.
TEST_F(TessalyCommandLine, OddTablesAndTargetsAreRefusedAndTheCatalogueKept) {
    ASSERT_EQ(Tessaly(Dir(program) + " --import " + shippedTable).status, 0);
    const std::string catalogue = program.Read("ChipList.chip");
    const std::string fifo = work.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string guard = "timeout -s KILL 60";

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"--import " + fifo, "cannot read " + fifo + ": it is a FIFO, not a regular file"},
        {"--import /dev/zero", "cannot read /dev/zero: it is a device, not a regular file"},
        {"--export " + fifo, "cannot write " + fifo + ": it is a FIFO, not a regular file"},
        {"--export /dev/null", "cannot write /dev/null: it is a device, not a regular file"},
    };
    for (const auto& [command, reason] : refused) {
        const RunResult run = Tessaly(Dir(program) + " " + command, guard);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.err, "Tessaly: " + reason + "\n") << command;
    }
    work.Write("empty.tsv", "# name\tcode\trom_kib\tvolts\tsig1\tsig2\tsig3\n\n");
    const RunResult empty = Tessaly(Dir(program) + " --import " + work.file("empty.tsv"));
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "Tessaly: no chips in " + work.file("empty.tsv") + "; ChipList.chip left as it was\n");
    std::filesystem::create_symlink(program.file("ChipList.chip"), work.file("catalogue-link"));
    for (const std::string& onto : {program.file("ChipList.chip"), work.file("catalogue-link")}) {
        const RunResult ontoCatalogue = Tessaly(Dir(program) + " --export " + onto);
        EXPECT_EQ(ontoCatalogue.status, 1) << onto;
        EXPECT_THAT(ontoCatalogue.err, HasSubstr("will not export onto the catalogue")) << onto;
    }
    EXPECT_EQ(program.Read("ChipList.chip"), catalogue);

    std::filesystem::create_symlink("exported.tsv", work.file("link.tsv"));
    ASSERT_EQ(Tessaly(Dir(program) + " --export " + work.file("link.tsv")).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(work.file("link.tsv")));
    EXPECT_THAT(work.Read("exported.tsv"), HasSubstr("AT89C51\t"));
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace korvan
