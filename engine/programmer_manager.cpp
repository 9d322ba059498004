#include "engine/programmer_manager.h"

#include <utility>

#include <algorithm>

#include "engine/event_code.h"
#include "engine/program_dir.h"

namespace korvan {
ProgrammerManager::ProgrammerManager()
    : buffer1_(std::make_unique<Image>()), buffer2_(std::make_unique<Image>()) {
    ClearImage(*buffer1_);
    ClearImage(*buffer2_);
}

// The back-end's threads use the images and the catalogue: stop it before they go.
ProgrammerManager::~ProgrammerManager() { ShutdownBackend(); }

void ProgrammerManager::ShutdownBackend() {
    if (backend_) {
        backend_->Stop();
        backend_.reset();
    }
}

int ProgrammerManager::BaudRate() const {
    const int index = baudIndex_;
    if (index < 0 || index >= static_cast<int>(kBaudTable.size())) {
        return 0;
    }
    return kBaudTable[static_cast<std::size_t>(index)];
}

int ProgrammerManager::Init(EventSink& owner, int programmerType, int downloadSpeed, BackendFactory& factory) {
    owner_ = &owner;
    programmerType_ = programmerType;
    downloadSpeed_ = downloadSpeed;
    ShutdownBackend();
    if (programmerType < SerialProgrammerType || programmerType > LinuxGpioType) {
        return 0;
    }
    backend_ = factory.Create(programmerType);
    if (!backend_) {
        return 0;
    }
    // A serial back-end handed an impossible baud rate (BaudRate() == 0) stays closed without
    // an event and answers every command with SerialNotInitialized; it still needs the manager
    // to say so, so Init runs in every case.
    return backend_->Init(*this) ? 1 : 0;
}

void ProgrammerManager::Post(Report report) {
    if (EventSink* owner = owner_.load()) {
        owner->Post(std::move(report));
    }
}

void ProgrammerManager::TakeResult(const Report& report) {
    if (const SignatureRead* read = std::get_if<SignatureRead>(&report)) {
        SetSignature(read->signature);
        IdentifyChip();
    } else if (const BlockRead* block = std::get_if<BlockRead>(&report)) {
        const std::size_t room = block->address < kImageSize ? kImageSize - block->address : 0;
        std::copy_n(block->bytes.begin(), std::min(block->bytes.size(), room),
                    buffer2_->begin() + static_cast<std::ptrdiff_t>(block->address));
    }
}

const ChipRecord* ProgrammerManager::SelectChip(int index) {
    if (index < 0) {
        index = 0;
    }
    currentChip_ = index;
    if (static_cast<std::size_t>(index) >= catalogue_.size()) {
        return nullptr;
    }
    return &catalogue_[static_cast<std::size_t>(index)];
}

const ChipRecord* ProgrammerManager::CurrentChip() const {
    const int index = currentChip_;
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue_.size()) {
        return nullptr;
    }
    return &catalogue_[static_cast<std::size_t>(index)];
}

// Every chip operation ends in an event, so the operator is never left with disabled
// controls: a missing record or back-end is reported as a failure.
const ChipRecord* ProgrammerManager::RecordFor(int index, int failureEvent) {
    const ChipRecord* record = SelectChip(index);
    if (record == nullptr || !backend_) {
        PostEvent(failureEvent);
        return nullptr;
    }
    return record;
}

void ProgrammerManager::CheckReady(int index) {
    if (const ChipRecord* record = RecordFor(index, ProgrammerUnusable)) {
        backend_->CheckReady(record->chipCode);
    }
}

void ProgrammerManager::ReadSignature(int index) {
    if (const ChipRecord* record = RecordFor(index, ProgrammerError)) {
        backend_->ReadSignature(record->chipCode);
    }
}

void ProgrammerManager::EraseChip(int index) {
    if (const ChipRecord* record = RecordFor(index, ProgrammerError)) {
        backend_->EraseChip(record->chipCode);
    }
}

void ProgrammerManager::WriteChip(int index) {
    if (const ChipRecord* record = RecordFor(index, ProgrammerError)) {
        backend_->WriteChip(record->chipCode);
    }
}

void ProgrammerManager::ReadChip(int index) {
    ClearImage(*buffer2_);
    if (const ChipRecord* record = RecordFor(index, ProgrammerError)) {
        backend_->ReadChip(record->chipCode);
    }
}

void ProgrammerManager::WriteLockBits(int index, int level) {
    if (const ChipRecord* record = RecordFor(index, ProgrammerError)) {
        backend_->WriteLockBits(record->chipCode, level);
    }
}

bool ProgrammerManager::LoadChipList() {
    return catalogue_.Load(KeptFileDirectory(kChipListName) + kChipListName);
}

std::string ProgrammerManager::KeptFileDirectory(const std::string& name) const {
    return korvan::KeptFileDirectory(settingsDirectory(), programDir_, name);
}

int ProgrammerManager::IdentifyChip() {
    const std::optional<std::size_t> match = catalogue_.Find(signature());
    if (!match) {
        PostEvent(ChipNotDetected);
        return 0;
    }
    // The selection changes before the event is queued, so its handler sees the new chip.
    currentChip_ = static_cast<int>(*match);
    PostEvent(ChipIdentified);
    return 1;
}

int ProgrammerManager::UsedLength(const std::uint8_t* data, std::size_t size) const {
    std::size_t used = size;
    while (used > 0 && data[used - 1] == kBlank) {
        --used;
    }
    if (used > 1) {
        const ChipRecord* chip = CurrentChip();
        const std::size_t limit = chip != nullptr ? chip->RomBytes() : kImageSize;
        used = std::min(used, limit);
    }
    return static_cast<int>(used);
}

Signature ProgrammerManager::signature() const {
    return {signature_[0].load(), signature_[1].load(), signature_[2].load()};
}

void ProgrammerManager::SetSignature(const Signature& signature) {
    for (std::size_t i = 0; i < signature.size(); ++i) {
        signature_[i] = signature[i];
    }
}

std::string ProgrammerManager::enableAnswer() const {
    const std::uint64_t kept = enableAnswer_.load();
    if ((kept & kEnableAnswered) == 0) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<std::uint8_t>(kept >> (8 * i));
        hex += hex.empty() ? "" : " ";
        hex += {kHex[byte >> 4], kHex[byte & 0x0F]};
    }
    return hex;
}

void ProgrammerManager::SetEnableAnswer(const std::array<std::uint8_t, 4>& bytes) {
    std::uint64_t kept = kEnableAnswered;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        kept |= std::uint64_t{bytes[i]} << (8 * i);
    }
    enableAnswer_.store(kept);
}

}  // namespace korvan
