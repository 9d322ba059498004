#include "console/info_save.h"

#include <algorithm>

#include "data/profile.h"

namespace korvan {
namespace {

class RecordWriter {
public:
    explicit RecordWriter(std::array<std::uint8_t, kInfoSaveSize>& bytes) : bytes_(bytes) {}

    void Int32(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_[offset_++] = static_cast<std::uint8_t>(bits >> shift);
        }
    }
    void Byte(std::uint8_t value) { bytes_[offset_++] = value; }
    void Bytes(std::span<const std::uint8_t> values) {
        std::copy(values.begin(), values.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset_));
        offset_ += values.size();
    }

private:
    std::array<std::uint8_t, kInfoSaveSize>& bytes_;
    std::size_t offset_ = 0;
};

class RecordReader {
public:
    explicit RecordReader(std::span<const std::uint8_t, kInfoSaveSize> bytes) : bytes_(bytes) {}

    std::int32_t Int32() {
        std::uint32_t bits = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            bits |= static_cast<std::uint32_t>(bytes_[offset_++]) << shift;
        }
        return static_cast<std::int32_t>(bits);
    }
    std::uint8_t Byte() { return bytes_[offset_++]; }
    void Bytes(std::span<std::uint8_t> out) {
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_), out.size(), out.begin());
        offset_ += out.size();
    }

private:
    std::span<const std::uint8_t, kInfoSaveSize> bytes_;
    std::size_t offset_ = 0;
};

}  // namespace

std::array<std::uint8_t, kInfoSaveSize> EncodeInfoSave(const InfoSave& record) {
    std::array<std::uint8_t, kInfoSaveSize> bytes{};
    RecordWriter out(bytes);
    for (std::int32_t value :
         {record.programmerType, record.comPort, record.baudIndex, record.downloadSpeed, record.autoCheck,
          record.soundOn, record.hotKeysOn, record.autoOpen, record.autoErase, record.autoWrite, record.autoRead,
          record.autoVerify, record.autoEncrypt, record.chipIndex}) {
        out.Int32(value);
    }
    out.Byte(record.hotKeyCode);
    out.Byte(record.hotKeyModifiers);
    out.Bytes(record.lastFilePath);
    return bytes;
}

InfoSave DecodeInfoSave(std::span<const std::uint8_t, kInfoSaveSize> bytes) {
    RecordReader in(bytes);
    InfoSave record;
    for (std::int32_t* field :
         {&record.programmerType, &record.comPort, &record.baudIndex, &record.downloadSpeed, &record.autoCheck,
          &record.soundOn, &record.hotKeysOn, &record.autoOpen, &record.autoErase, &record.autoWrite,
          &record.autoRead, &record.autoVerify, &record.autoEncrypt, &record.chipIndex}) {
        *field = in.Int32();
    }
    record.hotKeyCode = in.Byte();
    record.hotKeyModifiers = in.Byte();
    in.Bytes(record.lastFilePath);
    return record;
}

std::string LastFilePath(const InfoSave& record) {
    const auto end = std::find(record.lastFilePath.begin(), record.lastFilePath.end(), std::uint8_t{0});
    return std::string(record.lastFilePath.begin(), end);
}

bool SetLastFilePath(InfoSave& record, const std::string& path) {
    record.lastFilePath.fill(0);
    if (path.size() > kLastFilePathMax) {
        return false;
    }
    std::copy(path.begin(), path.end(), record.lastFilePath.begin());
    return true;
}

std::optional<InfoSave> ReadInfoSave(const std::string& iniPath) {
    std::array<std::uint8_t, kInfoSaveSize> bytes{};
    if (!profile::ReadStruct(iniPath, kInfoSaveSection, kInfoSaveKey, bytes)) {
        return std::nullopt;
    }
    return DecodeInfoSave(bytes);
}

bool WriteInfoSave(const std::string& iniPath, const InfoSave& record) {
    const auto bytes = EncodeInfoSave(record);
    return profile::WriteStruct(iniPath, kInfoSaveSection, kInfoSaveKey, bytes);
}

}  // namespace korvan
