// Tessaly: the chip-list editor. With --list, --import or --export it works on the command
// line without a display; otherwise it opens the editor window.
#include <sys/stat.h>

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "data/read_file.h"
#include "data/replace_file.h"
#include "editor/chip_list_editor.h"
#include "engine/catalogue_edit.h"
#include "engine/program_dir.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A table of every chip there could be is far smaller; a larger file is not a table.
constexpr std::size_t kTableLimit = std::size_t{16} << 20;

constexpr const char* kUsage =
    "usage: Tessaly [--dir DIR] [--list | --import TABLE | --export TABLE]\n"
    "Edits ChipList.chip, the chip catalogue of the program directory (DIR, else $KORVAN_HOME,\n"
    "else the directory of this program). Without a command it opens the editor window.\n"
    "  --list            print the chips: index, name, ROM size, voltage, signature\n"
    "  --import TABLE    replace ChipList.chip with the chips of a table; a bad line is refused\n"
    "  --export TABLE    write the chips as a table (- for standard output)\n"
    "A table has one chip a line: name<TAB>code rom_kib volts sig1 sig2 sig3 (signature in hex);\n"
    "lines starting with # are comments.\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

struct Command {
    std::string dir;
    std::string action;  // "--list", "--import", "--export" or empty for the window
    std::string table;
    bool help = false;
    std::string error;
};

Command ParseArguments(const std::vector<std::string>& args) {
    Command command;
    for (std::size_t i = 0; i < args.size() && command.error.empty(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--dir" || arg == "--import" || arg == "--export";
        if (takesValue && i + 1 == args.size()) {
            command.error = arg + " needs a value";
        } else if (arg == "--help" || arg == "-h") {
            command.help = true;
        } else if (arg == "--dir") {
            command.dir = args[++i];
        } else if ((arg == "--list" || takesValue) && !command.action.empty()) {
            command.error = "only one of --list, --import and --export";
        } else if (arg == "--list") {
            command.action = arg;
        } else if (takesValue) {
            command.action = arg;
            command.table = args[++i];
        } else {
            command.error = "unknown argument '" + arg + "'";
        }
    }
    return command;
}

int Fail(const std::string& line, int status) {
    std::cerr << "Tessaly: " << line << '\n';
    return status;
}

struct CataloguePaths {
    std::string read;
    std::string write;
};


int ListChips(const std::string& chipList) {
    korvan::ChipCatalogue catalogue;
    if (!catalogue.Load(chipList)) {
        return Fail("cannot read " + chipList, kExitFailure);
    }
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        std::cout << korvan::DescribeChip(i, catalogue[i]) << '\n';
    }
    return kExitSuccess;
}

int ImportTable(const std::string& tablePath, const std::string& chipList) {
    const korvan::FileText text = korvan::ReadWholeFile(tablePath, kTableLimit);
    if (text.error != 0) {
        return Fail("cannot read " + tablePath + ": " + text.reason, kExitFailure);
    }
    const korvan::ChipTable table = korvan::ParseChipTable(text.text);
    if (table.problem) {
        return Fail(tablePath + ":" + std::to_string(table.problemLine) + ": " + table.problem->message,
                    kExitFailure);
    }
    // An empty catalogue would leave every program without a chip to choose.
    if (table.records.empty()) {
        return Fail("no chips in " + tablePath + "; " + korvan::kChipListName + " left as it was", kExitFailure);
    }
    if (const std::string problem = korvan::SaveChipCatalogue(chipList, table.records); !problem.empty()) {
        return Fail(problem, kExitFailure);
    }
    std::cout << table.records.size() << " chips written to " << chipList << '\n';
    return kExitSuccess;
}

// Why the table may not be written at `target` (its links resolved): it is not a regular
// file, or it is the catalogue itself. Empty when it may.
std::string ExportTargetProblem(const std::string& tablePath, const std::string& target, const CataloguePaths& paths) {
    for (const std::string& catalogue : {paths.read, paths.write}) {
        if (target == korvan::RealFilePath(catalogue)) {
            return "will not export onto the catalogue " + catalogue;
        }
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return "cannot write " + tablePath + ": " + korvan::NotRegularReason(info.st_mode);
    }
    return {};
}

// Written whole or not at all, to a regular file or a new one; a link is followed, so the
// file it names is replaced and the link stays.
int ExportTable(const std::string& tablePath, const CataloguePaths& paths) {
    korvan::ChipCatalogue catalogue;
    if (!catalogue.Load(paths.read)) {
        return Fail("cannot read " + paths.read, kExitFailure);
    }
    const std::string text = korvan::FormatChipTable(catalogue.records());
    if (tablePath == "-") {
        std::cout << text;
        return kExitSuccess;
    }
    const std::string target = korvan::RealFilePath(tablePath);
    if (const std::string problem = ExportTargetProblem(tablePath, target, paths); !problem.empty()) {
        return Fail(problem, kExitFailure);
    }
    if (const std::string problem = korvan::ReplaceFileAtomically(target, text); !problem.empty()) {
        return Fail(problem, kExitFailure);
    }
    return kExitSuccess;
}

// The catalogue is read from the user's copy when there is one, and written to the settings
// directory, so an installed copy's own catalogue stays as shipped.
int RunCommand(const Command& command, const CataloguePaths& paths) {
    if (command.action == "--list") {
        return ListChips(paths.read);
    }
    if (command.action == "--import") {
        return ImportTable(command.table, paths.write);
    }
    return ExportTable(command.table, paths);
}

}  // namespace

int main(int argc, char* argv[]) {
    // A file-size limit fails the write that reaches it (EFBIG) instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const Command command = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (command.help) {
        std::cout << kUsage;
        return kExitSuccess;
    }
    if (!command.error.empty()) {
        return Fail(command.error + " (Tessaly --help lists the options)", kExitUsage);
    }
    const std::string dir = korvan::ProgramDirectory(command.dir);
    if (const std::string problem = korvan::ProgramDirectoryProblem(dir); !problem.empty()) {
        return Fail(problem, kExitUsage);
    }
    const std::string settingsDir = korvan::SettingsDirectory(dir);
    const CataloguePaths paths{korvan::KeptFileDirectory(settingsDir, dir, korvan::kChipListName) + korvan::kChipListName,
                               settingsDir + korvan::kChipListName};
    if (!command.action.empty()) {
        const int status = RunCommand(command, paths);
        if (!std::cout.flush()) {
            return Fail("cannot write standard output", kExitFailure);
        }
        return status;
    }
    if (const std::string problem = korvan::DisplayProblem(); !problem.empty()) {
        return Fail(problem, kExitFailure);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    korvan::ChipListEditor editor(paths.read, paths.write);
    editor.show();
    return QApplication::exec();
}
