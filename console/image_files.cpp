#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "console/image_files.h"
#include "console/recent_files.h"
#include "data/binary_file.h"
#include "data/hex_file.h"
#include "data/read_file.h"

namespace korvan {

enum class LoadOutcome { Read, OpenError, Failed };

struct ImageLoad {
    std::string contentLine;  // empty when the name decided the format
    std::vector<Message> messages;
    std::unique_ptr<Image> image;  // what Buffer1 becomes; null when it stays as it is
    LoadOutcome outcome = LoadOutcome::Read;
    // The last status line; for an open error, the reason.
    std::string line;
    // A HEX text refused for its checksums or record lengths alone.
    bool checksumsInTheWay = false;
};

namespace {

// Writes `value` as `count` digits in `base`, the last at `line[end - 1]`.
void PutDigits(std::string& line, std::size_t end, std::size_t value, unsigned base, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 1; i <= count; ++i, value /= base) {
        line[end - i] = kDigits[value % base];
    }
}

// "    %05zu - ADDR:%04X  WRITE:%02X  READ:%02X" without printf's parsing: a verification of two
// images that differ everywhere makes 65,536 of them, and the window waits for them.
std::string MismatchLine(std::size_t number, std::size_t address, std::uint8_t written, std::uint8_t read) {
    std::string line = "    00000 - ADDR:0000  WRITE:00  READ:00";
    PutDigits(line, 9, number, 10, 5);
    PutDigits(line, 21, address, 16, 4);
    PutDigits(line, 31, written, 16, 2);
    PutDigits(line, 40, read, 16, 2);
    return line;
}

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

std::string SystemReason(int error) { return std::generic_category().message(error); }

// Opens `path` for reading when it is a regular file. Anything else is refused before it is
// opened, since opening a FIFO waits for a writer; the non-blocking open and the second look
// cover a name replaced in between.
FileHandle OpenRegularFile(const std::string& path, std::string& reason) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        reason = SystemReason(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = NotRegularReason(info.st_mode);
        return nullptr;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        reason = SystemReason(errno);
        return nullptr;
    }
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = "it was replaced while being opened";
        ::close(descriptor);
        return nullptr;
    }
    std::FILE* file = ::fdopen(descriptor, "rb");
    if (file == nullptr) {
        reason = SystemReason(errno);
        ::close(descriptor);
    }
    return FileHandle(file);
}

// A character device opened for writing without waiting; null for anything else.
FileHandle OpenCharacterDevice(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISCHR(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    FileHandle file(::fdopen(descriptor, "wb"));
    if (!file) {
        ::close(descriptor);
    }
    return file;
}

// Where a save writes: a new file beside the target, renamed over it once it is whole, so a
// failed save leaves the file that was there as it was. A target that is not a regular file
// (a device such as a terminal) is written in place; a FIFO or a socket is refused, since
// writing one would wait for a reader.
struct SaveTarget {
    std::string finalPath;
    std::string writePath;
    FileHandle file;
};

SaveTarget OpenSaveTarget(const std::string& path) {
    SaveTarget target;
    std::error_code error;
    target.finalPath = std::filesystem::is_symlink(path, error) && std::filesystem::exists(path, error)
                           ? std::filesystem::canonical(path, error).string()
                           : path;
    struct stat info {};
    const bool exists = ::stat(target.finalPath.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        target.writePath = target.finalPath;
        target.file = OpenCharacterDevice(target.finalPath);
        return target;
    }
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        target.writePath = target.finalPath + ".saving-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        const int descriptor = ::open(target.writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno == EEXIST) {
            continue;
        }
        if (descriptor < 0) {
            break;
        }
        if (exists) {
            ::fchmod(descriptor, info.st_mode & 07777);  // keeps the replaced file's permissions
        }
        target.file.reset(::fdopen(descriptor, "wb"));
        if (!target.file) {
            ::close(descriptor);
            ::unlink(target.writePath.c_str());
        }
        return target;
    }
    return target;
}

// Puts a written file in place; false, with nothing left behind, when it was not written whole.
bool CommitSaveTarget(const SaveTarget& target, bool written) {
    if (target.writePath == target.finalPath) {
        return written;
    }
    if (written && std::rename(target.writePath.c_str(), target.finalPath.c_str()) == 0) {
        return true;
    }
    ::unlink(target.writePath.c_str());
    return false;
}

// What a load needs, taken on the console's thread: the open file, and a copy of Buffer1 for
// a HEX conversion to write into (a record error leaves it partly filled).
struct ImageRead {
    FileHandle file;
    std::uintmax_t length;
    std::string path;
    ImageFormat format;  // ByName: the content decides
    HexReadOptions hex;
    std::unique_ptr<Image> buffer1;
};

// Keeps the messages a conversion shows, for the console's thread to show in their order.
class MessageRecorder final : public MessageSink {
public:
    explicit MessageRecorder(std::vector<Message>& messages) : messages_(messages) {}
    void ShowMessage(const Message& message) override { messages_.push_back(message); }

private:
    std::vector<Message>& messages_;
};

ImageLoad FailedLoad(LoadOutcome outcome, std::string line) {
    ImageLoad load;
    load.outcome = outcome;
    load.line = std::move(line);
    return load;
}

std::string ReadLine(const std::string& path, std::uintmax_t bytes) {
    return "Read " + path + " Buffer1(" + std::to_string(bytes) + " Bytes).";
}

// Whether a refused text converts once its checksums and record lengths are not looked at.
bool ChecksumsInTheWay(const ImageRead& request, const std::string& text) {
    if (request.hex.ignoreChecksums) {
        return false;
    }
    Image scratch = *request.buffer1;
    std::vector<Message> ignored;
    MessageRecorder messages(ignored);
    return ConvertHexFile(text, scratch, messages, HexReadOptions{.ignoreChecksums = true}) >= 0;
}

ImageLoad ConvertHexImage(ImageRead& request, const std::string& text) {
    ImageLoad load;
    auto converted = std::make_unique<Image>(*request.buffer1);
    MessageRecorder messages(load.messages);
    if (ConvertHexFile(text, *converted, messages, request.hex) >= 0) {
        load.image = std::move(converted);
        load.line = ReadLine(request.path, request.length);
        return load;
    }
    // A record error leaves Buffer1 partly filled: it is shown. A character error leaves it
    // alone, and the view keeps the operator's edits.
    if (*converted != *request.buffer1) {
        load.image = std::move(converted);
    }
    load.outcome = LoadOutcome::Failed;
    load.line = "Hex File Conversion Error.";
    load.checksumsInTheWay = ChecksumsInTheWay(request, text);
    return load;
}

ImageLoad CopyBinaryText(const std::string& text, const std::string& path) {
    ImageLoad load;
    load.image = std::make_unique<Image>();
    ClearImage(*load.image);
    const std::size_t bytes = std::min<std::size_t>(text.size(), kImageSize);
    std::copy_n(text.begin(), bytes, load.image->begin());
    load.line = ReadLine(path, bytes);
    return load;
}

ImageLoad ReadBinary(std::FILE* file, const std::string& path) {
    ImageLoad load;
    load.image = std::make_unique<Image>();
    const std::optional<std::size_t> bytes = ReadBinaryImage(file, *load.image);
    if (!bytes) {
        // The image is left cleared, and shown so.
        load.outcome = LoadOutcome::OpenError;
        load.line = "it cannot be read";
        return load;
    }
    load.line = ReadLine(path, *bytes);
    return load;
}

// Reads and converts the file of `request` without touching the console: safe on any thread.
ImageLoad ReadImage(ImageRead& request) {
    FileHandle file = std::move(request.file);
    ImageFormat format = request.format;
    // A text too large for a HEX image can only be binary; anything else is read whole once,
    // for the content check and the conversion alike.
    const bool readText = format != ImageFormat::Binary && request.length <= kMaxHexFileSize;
    std::string text(readText ? static_cast<std::size_t>(request.length) : 0, '\0');
    if (readText && std::fread(text.data(), 1, text.size(), file.get()) != text.size()) {
        return FailedLoad(LoadOutcome::OpenError, "it cannot be read");
    }
    std::string contentLine;
    if (format == ImageFormat::ByName) {
        format = readText && HasIntelHexForm(text) ? ImageFormat::Hex : ImageFormat::Binary;
        contentLine = format == ImageFormat::Hex ? "Content of " + request.path + " is Intel HEX."
                                                 : "Content of " + request.path + " is not Intel HEX: read as binary.";
    }
    ImageLoad load;
    if (format == ImageFormat::Hex) {
        load = readText ? ConvertHexImage(request, text) : FailedLoad(LoadOutcome::Failed, "File Too Large.");
    } else {
        load = readText ? CopyBinaryText(text, request.path) : ReadBinary(file.get(), request.path);
    }
    load.contentLine = std::move(contentLine);
    return load;
}

}  // namespace

const ChipRecord* SelectedRecord(const ChipCatalogue& catalogue, int chip) {
    const auto index = static_cast<std::size_t>(std::max(chip, 0));
    return index < catalogue.size() ? &catalogue[index] : nullptr;
}

void ImageFiles::Remember(const std::string& path) {
    imagePath_ = path;
    imageExt_ = UpperCase(PathExtension(path));
}

void ImageFiles::ShowTitle() { view_.SetTitle(std::string(kProgramTitle) + "  <" + imagePath_ + ">"); }

void ImageFiles::SelectImageFile(const std::string& path) {
    Remember(path);
    ShowTitle();
}

void ImageFiles::Open(const std::string& path) {
    Remember(path);
    LoadImageFile();
    ShowTitle();
}

void ImageFiles::OpenIgnoringChecksums(const std::string& path) {
    status_.AddStatus("Checksums and record lengths in " + path + " ignored.");
    const HexReadOptions kept = options_.hex;
    options_.hex.ignoreChecksums = true;
    Open(path);  // the options are taken with the file: a load on the worker keeps them
    options_.hex = kept;
}

int ImageFiles::FailLoad(const std::string& line) {
    status_.AddStatus(line);
    sequence_.ContinueSequence(false, true);
    return 0;
}

int ImageFiles::FailOpen(const std::string& reason) {
    status_.AddStatus("File Open Error.");
    view_.ShowMessage(Message("File Open Error.", kDefaultCaption, imagePath_ + ": " + reason));
    sequence_.ContinueSequence(false, true);
    return 0;
}

int ImageFiles::LoadImageFile() {
    if (imagePath_.empty()) {
        return FailLoad("Open File.");
    }
    std::string reason;
    FileHandle file = OpenRegularFile(imagePath_, reason);
    if (!file) {
        return FailOpen(reason);
    }
    const std::optional<std::uintmax_t> length = FileLength(file.get());
    if (!length) {
        return FailOpen("its length cannot be found");
    }
    auto request = std::make_shared<ImageRead>(ImageRead{std::move(file), *length, imagePath_, FormatByName(),
                                                         options_.hex,
                                                         std::make_unique<Image>(manager_.Buffer1())});
    if (worker_ == nullptr || *length < kBackgroundLoadSize) {
        return FinishImageLoad(ReadImage(*request));
    }
    status_.AddStatus("Reading " + imagePath_ + " ...");
    loadPending_ = true;
    sequence_.SetButtonsIdle(false);
    auto load = std::make_shared<ImageLoad>();
    worker_->Run([request, load] { *load = ReadImage(*request); }, [this, load] { FinishImageLoad(*load); });
    return kLoadPending;
}

int ImageFiles::FinishImageLoad(const ImageLoad& load) {
    loadPending_ = false;
    if (!load.contentLine.empty()) {
        status_.AddStatus(load.contentLine);
    }
    for (const Message& message : load.messages) {
        if (load.checksumsInTheWay) {
            view_.OfferIgnoringChecksums(message, imagePath_);
        } else {
            view_.ShowMessage(message);
        }
    }
    if (load.image) {
        manager_.Buffer1() = *load.image;
        buffers_.buffer1.Replaced();
        buffers_.buffer2.ClearDifferences();  // they compared the image before
    }
    switch (load.outcome) {
        case LoadOutcome::Read:
            status_.AddStatus(load.line);
            if (imageLoaded_) {
                imageLoaded_(imagePath_);
            }
            sequence_.ContinueSequence(true, false);
            return 1;
        case LoadOutcome::OpenError:
            return FailOpen(load.line);
        case LoadOutcome::Failed:
            break;
    }
    return FailLoad(load.line);
}

ImageFormat ImageFiles::FormatByName() const {
    if (options_.format != ImageFormat::ByName) {
        return options_.format;
    }
    if (imageExt_ == "HEX") {
        return ImageFormat::Hex;
    }
    return imageExt_ == "BIN" ? ImageFormat::Binary : ImageFormat::ByName;
}

bool ImageFiles::ImageFitsChip(int chip) {
    const ChipRecord* selected = SelectedRecord(manager_.catalogue(), chip);
    if (selected == nullptr) {
        return true;  // the write itself reports the missing chip
    }
    const ChipRecord& record = *selected;
    const Image& image = manager_.Buffer1();
    std::size_t extent = image.size();
    while (extent > 0 && image[extent - 1] == kBlank) {
        --extent;
    }
    if (extent <= record.RomBytes()) {
        return true;
    }
    char line[160];
    std::snprintf(line, sizeof line, "Image data reaches 0x%04zX (%zu bytes); the %s holds %zu bytes.", extent - 1,
                  extent, record.name.c_str(), record.RomBytes());
    status_.AddStatus(line);
    sequence_.ContinueSequence(false, true);
    return false;
}

SaveOutcome ImageFiles::Save(const std::string& path) {
    SaveTarget target = OpenSaveTarget(path);
    if (!target.file) {
        return SaveOutcome::CannotCreate;
    }
    buffers_.buffer2.TakeEdits();
    const Image& buffer2 = manager_.Buffer2();
    const auto length = static_cast<std::size_t>(manager_.UsedLength(buffer2.data(), kImageSize));
    const bool asHex = UpperCase(path).ends_with(".HEX");
    const bool written = asHex ? WriteHexImage(target.file.release(), buffer2, length)
                               : WriteBinaryImage(target.file.release(), buffer2, length);
    if (!CommitSaveTarget(target, written)) {
        status_.AddStatus("Save Error.");
        return SaveOutcome::WriteFailed;
    }
    status_.AddStatus("Buffer2 has " + path + "(" + std::to_string(length) + " Bytes).");
    return SaveOutcome::Saved;
}

bool ImageFiles::VerifyBuffers() {
    status_.AddStatus("-------------------Verification Starts------------------");
    const Image& written = manager_.Buffer1();
    const Image& read = manager_.Buffer2();
    std::vector<std::string> mismatches;
    for (std::size_t address = 0; address < kImageSize; ++address) {
        if (written[address] != read[address]) {
            mismatches.push_back(MismatchLine(mismatches.size() + 1, address, written[address], read[address]));
        }
    }
    const std::size_t wrong = mismatches.size();
    recorder_.SetMismatches(wrong);
    // One call for the whole report: a window shows 65,536 lines without a redraw for each.
    status_.AddLines(std::move(mismatches));
    buffers_.buffer2.MarkDifferences(written);
    if (wrong > 0) {
        status_.AddStatus("Total " + std::to_string(wrong) + " Bytes Wrong!");
    } else {
        status_.AddStatus("All Data Matched!");
    }
    status_.AddStatus("-------------------Verification Done------------------");
    return wrong == 0;
}

bool ImageFiles::ReportBlank(bool erasedUnlocked) {
    const ChipRecord* chip = manager_.CurrentChip();
    const std::size_t rom = chip != nullptr ? std::min(chip->RomBytes(), kImageSize) : kImageSize;
    const Image& read = manager_.Buffer2();
    const auto programmed = std::find_if(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(rom),
                                         [](std::uint8_t byte) { return byte != kBlank; });
    if (programmed == read.begin() + static_cast<std::ptrdiff_t>(rom)) {
        status_.AddStatus(erasedUnlocked ? "Chip is blank." : "Chip reads blank (a locked chip reads the same).");
        return true;
    }
    char line[64];
    std::snprintf(line, sizeof line, "Chip is not blank: first programmed byte at 0x%04X.",
                  static_cast<unsigned>(programmed - read.begin()));
    status_.AddStatus(line);
    return false;
}

}  // namespace korvan
