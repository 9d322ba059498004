#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "console/console.h"
#include "console/recent_files.h"
#include "data/binary_file.h"
#include "data/hex_file.h"

namespace korvan {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The length of an open file, or nullopt when it cannot be found out.
std::optional<std::uintmax_t> FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const long length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uintmax_t>(length);
}

}  // namespace

void Console::SelectImageFile(const std::string& path) {
    imagePath_ = path;
    imageExt_ = UpperCase(PathExtension(path));
    view_.SetTitle(std::string(kProgramTitle) + "  <" + imagePath_ + ">");
}

void Console::OnOpen(const std::string& path) {
    if (!CommandEnabled(Button::Open)) {
        return;
    }
    imagePath_ = path;
    imageExt_ = UpperCase(PathExtension(path));
    LoadImageFile();
    view_.SetTitle(std::string(kProgramTitle) + "  <" + imagePath_ + ">");
}

int Console::FailLoad(const std::string& line) {
    AddStatus(line);
    ContinueSequence(0, 1);
    return 0;
}

int Console::LoadImageFile() {
    if (imagePath_.empty()) {
        return FailLoad("Open File.");
    }
    std::error_code error;
    if (std::filesystem::is_directory(imagePath_, error)) {
        return FailLoad("File Open Error.");
    }
    FileHandle file(std::fopen(imagePath_.c_str(), "rb"));
    if (!file) {
        return FailLoad("File Open Error.");
    }
    Image& buffer1 = manager_.Buffer1();
    std::uintmax_t byteFigure = 0;
    if (imageExt_ == "HEX") {
        const std::optional<std::uintmax_t> length = FileLength(file.get());
        if (!length) {
            return FailLoad("File Open Error.");
        }
        if (*length > kMaxHexFileSize) {
            return FailLoad("File Too Large.");
        }
        std::string text(static_cast<std::size_t>(*length), '\0');
        if (std::fread(text.data(), 1, text.size(), file.get()) != text.size()) {
            return FailLoad("File Open Error.");
        }
        const auto before = std::make_unique<Image>(buffer1);
        const int placed = ConvertHexFile(text, buffer1, view_);
        if (placed < 0) {
            // A record error leaves Buffer1 partly filled: show what it now holds. A character
            // error leaves it alone, and the view keeps the operator's edits.
            if (buffer1 != *before) {
                view_.LoadBuffer1View(buffer1);
            }
            return FailLoad("Hex File Conversion Error.");
        }
        byteFigure = *length;
    } else {
        const std::optional<std::size_t> placed = ReadBinaryImage(file.get(), buffer1);
        if (!placed) {
            view_.LoadBuffer1View(buffer1);
            return FailLoad("File Open Error.");
        }
        byteFigure = *placed;
    }
    view_.LoadBuffer1View(buffer1);
    file.reset();
    AddStatus("Read " + imagePath_ + " Buffer1(" + std::to_string(byteFigure) + " Bytes).");
    ContinueSequence(1, 0);
    return 1;
}

SaveOutcome Console::OnSave(const std::string& path) {
    if (!CommandEnabled(Button::Save)) {
        return SaveOutcome::NotEnabled;
    }
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return SaveOutcome::CannotCreate;
    }
    Image& buffer2 = manager_.Buffer2();
    const std::vector<std::uint8_t> edited = view_.Buffer2ViewBytes();
    std::copy_n(edited.begin(), std::min(edited.size(), kImageSize), buffer2.begin());
    const auto length = static_cast<std::size_t>(manager_.UsedLength(buffer2.data(), kImageSize));
    if (!WriteBinaryImage(file.release(), buffer2, length)) {
        // A cut-off image must not pass for the chip's content.
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            std::filesystem::remove(path, error);
        }
        AddStatus("Save Error.");
        return SaveOutcome::WriteFailed;
    }
    AddStatus("Buffer2 has " + path + "(" + std::to_string(length) + " Bytes).");
    return SaveOutcome::Saved;
}

int Console::VerifyBuffers() {
    AddStatus("-------------------Verification Starts------------------");
    const Image& written = manager_.Buffer1();
    const Image& read = manager_.Buffer2();
    std::vector<std::string> mismatches;
    char line[64];
    for (std::size_t address = 0; address < kImageSize; ++address) {
        if (written[address] == read[address]) {
            continue;
        }
        const int length = std::snprintf(line, sizeof line, "    %05zu - ADDR:%04X  WRITE:%02X  READ:%02X",
                                         mismatches.size() + 1, static_cast<unsigned>(address), written[address],
                                         read[address]);
        mismatches.emplace_back(line, static_cast<std::size_t>(length));
    }
    const std::size_t wrong = mismatches.size();
    // One call for the whole report: a window shows 65,536 lines without a redraw for each.
    if (wrong > 0) {
        view_.InsertStatusLines(lineCounter_, std::move(mismatches));
        lineCounter_ += static_cast<int>(wrong);
    }
    if (wrong > 0) {
        AddStatus("Total " + std::to_string(wrong) + " Bytes Wrong!");
    } else {
        AddStatus("All Data Matched!");
    }
    AddStatus("-------------------Verification Done------------------");
    verifyFlag_ = false;
    return wrong == 0 ? 1 : 0;
}

}  // namespace korvan
