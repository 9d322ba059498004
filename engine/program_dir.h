#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "data/read_file.h"

namespace korvan {

// The directory every kept file (ChipList.chip, Korvan.ini, LastFile.ini, FerrowIsp.ini) is
// found in, always ending in "/": `override` when not empty, else $KORVAN_HOME when set,
// else the directory of the running executable (links followed: a link in bin/ to the
// installed executable finds the installed directory).
std::string ProgramDirectory(const std::string& override = {});

// Whether the running user may create files in `dir`.
bool DirectoryWritable(const std::string& dir);

// Where the user's own kept files (Korvan.ini, LastFile.ini) are read and written, ending in
// "/": `programDir` when it is writable, else $XDG_CONFIG_HOME/korvan/ (~/.config/korvan/ when
// unset), created here. A copy the program directory ships of those files is copied there
// the first time, so the shipped defaults still apply. When it cannot be created, `programDir`.
std::string SettingsDirectory(const std::string& programDir,
                              const std::function<bool(const std::string&)>& isWritable = DirectoryWritable);

// The directory to read the kept file `name` (ChipList.chip, FerrowIsp.ini) from: `settingsDir`
// when the user keeps a copy there, else `programDir`.
std::string KeptFileDirectory(const std::string& settingsDir, const std::string& programDir, const std::string& name);

// `dir` with exactly one trailing "/".
std::string WithTrailingSlash(std::string dir);

// Why `dir` cannot be the program directory ("the program directory /x does not exist");
// empty when it can.
std::string ProgramDirectoryProblem(const std::string& dir);

// Why neither window (korvan, Tessaly) can be shown: no display to show it on; empty when one
// can. Checked before Qt starts, which would end the program with its own message.
std::string DisplayProblem();

// Why the kept file at `path` cannot be read ("cannot read /x/Korvan.ini: Is a directory");
// empty when it can be, or when it does not exist (a missing file means its defaults). Only a
// regular file of at most `limit` bytes (a whole number of MiB) is read.
std::string KeptFileProblem(const std::string& path, std::size_t limit = kSettingsFileLimit);

}  // namespace korvan
