#pragma once

#include <string>

namespace korvan {

// The directory every kept file (ChipList.chip, Korvan.ini, LastFile.ini, FerrowIsp.ini) is
// found in, always ending in "/": `override` when not empty, else $KORVAN_HOME when set,
// else the directory of the running executable.
std::string ProgramDirectory(const std::string& override = {});

// `dir` with exactly one trailing "/".
std::string WithTrailingSlash(std::string dir);

// Why `dir` cannot be the program directory ("the program directory /x does not exist");
// empty when it can.
std::string ProgramDirectoryProblem(const std::string& dir);

// Why the kept file at `path` cannot be read ("cannot read /x/Korvan.ini: Is a directory");
// empty when it can be, or when it does not exist (a missing file means its defaults).
std::string KeptFileProblem(const std::string& path);

}  // namespace korvan
