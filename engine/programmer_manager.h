#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "data/image.h"
#include "data/message_sink.h"
#include "engine/backend.h"
#include "engine/catalogue.h"
#include "engine/event_sink.h"

namespace korvan {

inline constexpr std::array<int, 4> kBaudTable = {9600, 19200, 28800, 57600};
inline constexpr std::uint16_t kParallelPortBase = 0x378;

enum ProgrammerType : int {
    SerialProgrammerType = 0,
    FerrowIspType = 1,
    AtmelByteBlasterType = 2,
    AlteraByteBlasterType = 3,
    // Beyond the four of the Korvan.ini record's first readers: a reader that knows only
    // 0..3 asks the operator to select a programmer.
    FtdiUsbType = 4,
    LinuxGpioType = 5,
};

// The one object through which every chip operation enters the engine and every report
// leaves it. Owns both images, the catalogue, the progress counters and one back-end.
//
// Threads: the console thread calls Init, the chip operations and takes the results; back-end
// threads post reports, the results they found travelling inside them (progress, signature,
// bytes read). A back-end reads Buffer1 during a write, which nothing changes until the
// write has ended.
class ProgrammerManager {
public:
    ProgrammerManager();
    ~ProgrammerManager();
    ProgrammerManager(const ProgrammerManager&) = delete;
    ProgrammerManager& operator=(const ProgrammerManager&) = delete;

    // Settings handed over before Init.
    void SetComPort(int port) { comPort_ = port; }
    void SetBaudIndex(int index) { baudIndex_ = index; }
    void SetProgramDirectory(std::string dir) { programDir_ = std::move(dir); }
    // Where Korvan.ini is kept and a user's ChipList.chip or FerrowIsp.ini is looked for
    // first; the program directory when never set.
    void SetSettingsDirectory(std::string dir) { settingsDir_ = std::move(dir); }

    int comPort() const { return comPort_; }
    int baudIndex() const { return baudIndex_; }
    // The baud rate for baudIndex, or 0 when the index is outside the table.
    int BaudRate() const;
    int programmerType() const { return programmerType_; }
    int downloadSpeed() const { return downloadSpeed_; }
    const std::string& programDirectory() const { return programDir_; }
    const std::string& settingsDirectory() const { return settingsDir_.empty() ? programDir_ : settingsDir_; }
    // The directory holding the kept file `name` to read: the settings directory's copy first.
    std::string KeptFileDirectory(const std::string& name) const;
    // Messages for the operator, posted in order with the events (dropped before Init).
    MessageSink& messages() { return messageForwarder_; }

    // Stops the back-end there is, then creates the one for `programmerType` through
    // `factory` and initialises it. Returns 1 when the back-end is usable. Called again to
    // change the programmer type or to start over on a reconnected port.
    int Init(EventSink& owner, int programmerType, int downloadSpeed, BackendFactory& factory);
    Backend* backend() const { return backend_.get(); }
    // Whether the running back-end ends a write with a Ready probe of its own.
    bool BackendProbesAfterWrite() const { return backend_ != nullptr && backend_->ProbesAfterWrite(); }
    // Stops the back-end and waits for its threads. Events it posted before still arrive.
    void ShutdownBackend();

    // Any thread.
    void Post(Report report);
    void PostEvent(int code) { Post(Report(code)); }
    void PostMessage(Message message) { Post(Report(std::move(message))); }

    // Console thread: takes a result a back-end reported. A signature is matched against the
    // catalogue (IdentifyChip); bytes read go into Buffer2.
    void TakeResult(const Report& report);

    // Chip operations, addressed by catalogue index. The outcome arrives as events.
    void CheckReady(int index);
    void ReadSignature(int index);
    void EraseChip(int index);
    void WriteChip(int index);
    void ReadChip(int index);  // clears Buffer2 first, whatever follows
    void WriteLockBits(int index, int level);

    // Catalogue.
    bool LoadChipList();  // KeptFileDirectory(kChipListName) + kChipListName
    ChipCatalogue& catalogue() { return catalogue_; }
    const ChipCatalogue& catalogue() const { return catalogue_; }
    // A negative index is taken as 0; the index becomes current. Null when no record has it.
    const ChipRecord* SelectChip(int index);
    const ChipRecord* CurrentChip() const;
    int currentChipIndex() const { return currentChip_; }
    // Matches signature() against the catalogue; makes the match current, then posts
    // ChipIdentified, or posts ChipNotDetected. Returns 1 when found.
    int IdentifyChip();

    // Bytes of `data` that need programming: up to the last byte that is not 0xFF, limited
    // to the current chip's ROM. A write stores its figure in `total` itself: measuring an
    // image (Save measures Buffer2) must not change what a later keep-length read uses.
    int UsedLength(const std::uint8_t* data, std::size_t size) const;

    Image& Buffer1() { return *buffer1_; }
    Image& Buffer2() { return *buffer2_; }
    const Image& Buffer1() const { return *buffer1_; }
    const Image& Buffer2() const { return *buffer2_; }

    // The bytes the last write or read transferred: a read that keeps the length reads as
    // many as the write before it wrote.
    std::atomic<int> total{0};
    std::atomic<int> keepLength{0};

    Signature signature() const;
    void SetSignature(const Signature& signature);

    // The four bytes an ISP chip answered to the last Programming Enable, in hex ("00 ac 53 69");
    // empty before one. Kept by a back-end's thread, read by any.
    std::string enableAnswer() const;
    void SetEnableAnswer(const std::array<std::uint8_t, 4>& bytes);

private:
    const ChipRecord* RecordFor(int index, int failureEvent);

    std::atomic<int> comPort_{1};
    std::atomic<int> baudIndex_{0};
    std::atomic<int> programmerType_{-1};
    std::atomic<int> downloadSpeed_{0};
    std::atomic<int> currentChip_{0};
    std::string programDir_;
    std::string settingsDir_;
    std::atomic<EventSink*> owner_{nullptr};

    // Hands messages to PostMessage, so they travel the event path.
    class MessageForwarder final : public MessageSink {
    public:
        explicit MessageForwarder(ProgrammerManager& manager) : manager_(manager) {}
        void ShowMessage(const Message& message) override { manager_.PostMessage(message); }

    private:
        ProgrammerManager& manager_;
    };
    MessageForwarder messageForwarder_{*this};

    ChipCatalogue catalogue_;
    std::unique_ptr<Image> buffer1_;
    std::unique_ptr<Image> buffer2_;
    std::array<std::atomic<std::uint8_t>, 3> signature_{};

    // The answer's bytes, the first in the low byte, and kEnableAnswered: one word, so a reader
    // never sees half of one answer and half of the next.
    static constexpr std::uint64_t kEnableAnswered = std::uint64_t{1} << 32;
    std::atomic<std::uint64_t> enableAnswer_{0};

    std::unique_ptr<Backend> backend_;
};

}  // namespace korvan
