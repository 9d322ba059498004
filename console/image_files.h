#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "console/buffer_model.h"
#include "console/run_recorder.h"
#include "console/sequence_control.h"
#include "console/status_presenter.h"
#include "console/view.h"
#include "console/worker.h"
#include "data/hex_file.h"
#include "engine/programmer_manager.h"

namespace korvan {

inline constexpr const char* kProgramVersion = "2.3";
inline constexpr const char* kProgramTitle = "Korvan v2.3";
// Larger Intel HEX texts are refused instead of being read into memory.
inline constexpr std::uintmax_t kMaxHexFileSize = 64U * 1024U * 1024U;
// Image files of this size and more are read on the worker's thread, when there is a worker.
inline constexpr std::uintmax_t kBackgroundLoadSize = 1024U * 1024U;
// What LoadImageFile returns while the worker still reads the file.
inline constexpr int kLoadPending = -1;

enum class SaveOutcome { NotEnabled, CannotCreate, WriteFailed, Saved };

// How an opened image is read: by its name (".hex" as Intel HEX, ".bin" as binary, any other
// name by its content), or always in one format.
enum class ImageFormat { ByName, Hex, Binary };

struct ImageFileOptions {
    ImageFormat format = ImageFormat::ByName;
    HexReadOptions hex;
};

// The catalogue entry an operation on `chip` is for: as the manager takes it, no selection
// means the first. Null when the catalogue has no such entry.
const ChipRecord* SelectedRecord(const ChipCatalogue& catalogue, int chip);

// What reading and converting an image file came to, before anything of it is shown.
struct ImageLoad;

// The file commands: Open reads an image file into Buffer1, Save writes Buffer2, and a
// verification compares the two. A load that ends a step hands the sequence on through
// `sequence`.
class ImageFiles {
public:
    ImageFiles(ProgrammerManager& manager, Buffers& buffers, View& view, StatusPresenter& status,
               RunRecorder& recorder, SequenceControl& sequence)
        : manager_(manager),
          buffers_(buffers),
          view_(view),
          status_(status),
          recorder_(recorder),
          sequence_(sequence) {}

    // Large files are read by `worker` (not owned; null: on the console's thread).
    void SetWorker(Worker* worker) { worker_ = worker; }
    void SetOptions(const ImageFileOptions& options) { options_ = options; }

    // Remembers `path` for the Open step and shows it in the title, without loading it.
    void SelectImageFile(const std::string& path);
    // Remembers `path` and loads it; the title names it once the load has begun.
    void Open(const std::string& path);
    // The same, for a HEX file whose checksums and record lengths the operator chose to
    // ignore after its refusal; the Status list says so.
    void OpenIgnoringChecksums(const std::string& path);
    // Told the path of every image that reached Buffer1 whole (null: nobody).
    void SetImageLoaded(std::function<void(const std::string& path)> loaded) { imageLoaded_ = std::move(loaded); }
    // 1 when the image is in Buffer1, 0 when it could not be loaded; kLoadPending when the
    // worker reads it: the commands stay disabled until it is done, then the sequence goes on.
    int LoadImageFile();
    bool loadPending() const { return loadPending_; }
    const std::string& imagePath() const { return imagePath_; }
    const std::string& imageExt() const { return imageExt_; }

    // Before a write to catalogue entry `chip` (none: the first): whether Buffer1's data fits.
    // When it does not, says how far the data reaches and ends the sequence as a failure.
    bool ImageFitsChip(int chip);
    // Writes Buffer2, the operator's edits taken into it, as Intel HEX when `path` ends in ".hex",
    // binary otherwise.
    SaveOutcome Save(const std::string& path);
    // Lists every byte where Buffer2 differs from Buffer1; true when none does.
    bool VerifyBuffers();
    // After a blank check's read: whether every byte of the current chip's ROM in Buffer2 is
    // 0xFF; says which, naming the first programmed byte. A locked chip reads all 0xFF too, so
    // only a chip `erasedUnlocked` (erased, not locked since) is said to be blank.
    bool ReportBlank(bool erasedUnlocked);

private:
    int FailLoad(const std::string& line);
    int FailOpen(const std::string& reason);
    // The forced format, else the one the extension names; ByName when the content decides.
    ImageFormat FormatByName() const;
    // Shows a load's lines and messages, puts its image in Buffer1 and goes on with the sequence.
    int FinishImageLoad(const ImageLoad& load);
    void Remember(const std::string& path);
    void ShowTitle();

    ProgrammerManager& manager_;
    Buffers& buffers_;
    View& view_;
    StatusPresenter& status_;
    RunRecorder& recorder_;
    SequenceControl& sequence_;
    Worker* worker_ = nullptr;
    ImageFileOptions options_;
    std::string imagePath_;
    std::string imageExt_;
    bool loadPending_ = false;
    std::function<void(const std::string&)> imageLoaded_;
};

}  // namespace korvan
