#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvan {

inline constexpr std::size_t kMaxRecentFiles = 10;
inline constexpr std::size_t kRecentPathMax = 199;
inline constexpr const char* kRecentFilesName = "LastFile.ini";

// The characters after the last "." of the whole path, directories included; empty when
// there is none.
std::string PathExtension(const std::string& path);

// The recent image files kept in LastFile.ini, oldest first. The open dialog shows them
// newest first and hands the chosen one to the Open command.
class RecentFiles {
public:
    explicit RecentFiles(const std::string& programDir);

    // Reloads the list and writes its size back (which creates the file). A hand-edited file
    // with more than ten entries keeps only the ten newest.
    void LoadList();
    // Reads the list as LoadList does and writes nothing back: for a list kept in memory,
    // read once, whose writes go elsewhere.
    void ReadList();
    // Writes every entry and the count. False when the file cannot be written.
    bool SaveList() const;
    // Makes `path` the newest entry: moved up when present (exact, case-sensitive match),
    // else appended, dropping the oldest entry of a full list.
    void AddPath(const std::string& path);
    // Cuts each entry to what LastFile.ini gives back once it is saved and read again (at most
    // kRecentPathMax characters), so a list kept in memory matches the one a reload would give.
    void CutToStoredLength();

    std::string GetSelectedPath();
    std::string GetSelectedExt();

    const std::vector<std::string>& entries() const { return entries_; }
    const std::string& selectedPath() const { return selectedPath_; }
    const std::string& filePath() const { return filePath_; }

private:
    void SelectNewest();
    // True when a hand-edited file held more than ten entries and the oldest were left out.
    bool ReadEntries();

    std::string filePath_;
    std::vector<std::string> entries_;
    std::string selectedPath_;
};

}  // namespace korvan
