#include "console/recent_files.h"

#include <algorithm>

#include "data/profile.h"

namespace korvan {
namespace {

constexpr const char* kCountSection = "File Number";
constexpr const char* kCountKey = "n";
constexpr const char* kListSection = "LastFile";

std::string EntryKey(int index) { return "File " + std::to_string(index); }

}  // namespace

std::string PathExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

RecentFiles::RecentFiles(const std::string& programDir) : filePath_(programDir + kRecentFilesName) {}

void RecentFiles::LoadList() {
    if (ReadEntries()) {
        // The kept entries move down to File 0..9; a count of ten alone would bring back
        // the ten oldest at the next opening.
        SaveList();
    } else {
        profile::WriteString(filePath_, kCountSection, kCountKey, std::to_string(entries_.size()));
    }
}

void RecentFiles::ReadList() { ReadEntries(); }

bool RecentFiles::ReadEntries() {
    const int count = std::max(0, profile::ReadInt(filePath_, kCountSection, kCountKey, 0));
    const int first = std::max(0, count - static_cast<int>(kMaxRecentFiles));
    entries_.clear();
    for (int index = first; index < count; ++index) {
        entries_.push_back(profile::ReadString(filePath_, kListSection, EntryKey(index), "", kRecentPathMax));
    }
    return first > 0;
}

bool RecentFiles::SaveList() const {
    bool written = true;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        written = profile::WriteString(filePath_, kListSection, EntryKey(static_cast<int>(index)), entries_[index]) &&
                  written;
    }
    return profile::WriteString(filePath_, kCountSection, kCountKey, std::to_string(entries_.size())) && written;
}

void RecentFiles::AddPath(const std::string& path) {
    const auto found = std::find(entries_.begin(), entries_.end(), path);
    if (found != entries_.end()) {
        std::rotate(found, found + 1, entries_.end());
        return;
    }
    while (entries_.size() >= kMaxRecentFiles) {
        entries_.erase(entries_.begin());
    }
    entries_.push_back(path);
}

void RecentFiles::CutToStoredLength() {
    for (std::string& entry : entries_) {
        entry.resize(std::min(entry.size(), kRecentPathMax));
    }
}

void RecentFiles::SelectNewest() { selectedPath_ = entries_.empty() ? std::string() : entries_.back(); }

std::string RecentFiles::GetSelectedPath() {
    SelectNewest();
    return selectedPath_;
}

std::string RecentFiles::GetSelectedExt() {
    SelectNewest();
    return PathExtension(selectedPath_);
}

}  // namespace korvan
