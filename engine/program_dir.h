#pragma once

#include <string>

namespace korvan {

// The directory every kept file (ChipList.chip, Korvan.ini, LastFile.ini, FerrowIsp.ini) is
// found in, always ending in "/": `override` when not empty, else $KORVAN_HOME when set,
// else the directory of the running executable.
std::string ProgramDirectory(const std::string& override = {});

// `dir` with exactly one trailing "/".
std::string WithTrailingSlash(std::string dir);

}  // namespace korvan
