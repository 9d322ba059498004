#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

using Signature = std::array<std::uint8_t, 3>;

// One 36-byte entry of ChipList.chip.
struct ChipRecord {
    std::string name;  // at most 19 characters
    std::uint8_t chipCode = 0;
    std::int32_t romSizeKiB = 0;  // as stored; may be out of range in a damaged file
    float programmingVoltage = 0.0F;
    Signature signature{};

    // Program memory in bytes, clamped to what the 64 KiB images can hold (0..65536).
    std::size_t RomBytes() const;
};

inline constexpr std::size_t kCatalogueHeaderSize = 8;
inline constexpr std::size_t kChipRecordSize = 36;
inline constexpr std::size_t kChipNameField = 20;
inline constexpr int kMaxRomSizeKiB = 64;

// The catalogue's file, looked for in the settings directory first, then the program's.
inline constexpr const char* kChipListName = "ChipList.chip";

// The chip catalogue, in file order. Read once; never changed afterwards.
class ChipCatalogue {
public:
    // Reads the file. A missing or unreadable file gives an empty catalogue and false.
    bool Load(const std::string& path);
    // Parses a whole file's bytes: the record count at offset 4, then records; a count past
    // the end of the bytes yields only the whole records present.
    void Parse(std::span<const std::uint8_t> bytes);

    std::size_t size() const { return records().size(); }
    bool empty() const { return records().empty(); }
    const ChipRecord& operator[](std::size_t index) const { return records()[index]; }
    const std::vector<ChipRecord>& records() const { return *records_; }

    // The first record whose three signature bytes equal `signature`.
    std::optional<std::size_t> Find(const Signature& signature) const;
    // The first record whose name equals `name`, ignoring case.
    std::optional<std::size_t> FindByName(std::string_view name) const;
    // A catalogue index written as a number, or the first entry of that name.
    std::optional<std::size_t> Resolve(std::string_view text) const;

private:
    // Never changed once read, so copies share it: the sites of one command line hold one
    // catalogue between them, however large.
    std::shared_ptr<const std::vector<ChipRecord>> records_ = std::make_shared<const std::vector<ChipRecord>>();
};

// The file image of a catalogue, as the build tool writes ChipList.chip.
std::vector<std::uint8_t> EncodeCatalogue(const std::vector<ChipRecord>& records);

}  // namespace korvan
