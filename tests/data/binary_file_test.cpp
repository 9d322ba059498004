#include "data/binary_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using korvan::testing::TempDir;

std::string Pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 31 + i / 256) & 0xFF);
    }
    return bytes;
}

class BinaryRead : public ::testing::Test {
protected:
    std::optional<std::size_t> Load(const std::string& content) {
        dir.Write("image.bin", content);
        std::FILE* file = std::fopen(dir.file("image.bin").c_str(), "rb");
        EXPECT_NE(file, nullptr);
        image.fill(0x5A);  // leftovers of an earlier image
        const std::optional<std::size_t> placed = ReadBinaryImage(file, image);
        std::fclose(file);
        return placed;
    }

    TempDir dir;
    Image image{};
};

TEST_F(BinaryRead, EmptyFileGivesBlankImage) {
    EXPECT_EQ(Load(""), 0u);
    for (const std::uint8_t byte : image) {
        ASSERT_EQ(byte, kBlank);
    }
}

TEST_F(BinaryRead, ShortFileIsPlacedFromZeroAndTheRestCleared) {
    const std::string content = Pattern(1000);
    EXPECT_EQ(Load(content), 1000u);
    for (std::size_t i = 0; i < image.size(); ++i) {
        ASSERT_EQ(image[i], i < content.size() ? static_cast<std::uint8_t>(content[i]) : kBlank) << i;
    }
}

TEST_F(BinaryRead, LongFileContributesOnlyItsFirst64KiB) {
    const std::string content = Pattern(70000);
    EXPECT_EQ(Load(content), kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        ASSERT_EQ(image[i], static_cast<std::uint8_t>(content[i])) << i;
    }
}

TEST(BinaryReadEndless, StopsAfter64KiBOfAnEndlessFile) {
    // Reading the whole of /dev/zero would never return.
    std::FILE* file = std::fopen("/dev/zero", "rb");
    if (file == nullptr) {
        GTEST_SKIP() << "no /dev/zero";
    }
    Image image{};
    EXPECT_EQ(ReadBinaryImage(file, image), kImageSize);
    std::fclose(file);
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](std::uint8_t byte) { return byte == 0; }));
}

TEST_F(BinaryRead, ReadErrorClearsImage) {
    // A stream opened for writing only fails every read.
    std::FILE* file = std::fopen(dir.file("write-only.bin").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    image.fill(0x12);
    EXPECT_EQ(ReadBinaryImage(file, image), std::nullopt);
    std::fclose(file);
    for (const std::uint8_t byte : image) {
        ASSERT_EQ(byte, kBlank);
    }
}

TEST(BinaryWrite, WritesExactlyTheRequestedLength) {
    TempDir dir;
    Image image{};
    ClearImage(image);
    const std::string content = Pattern(300);
    std::copy(content.begin(), content.end(), image.begin());
    ASSERT_TRUE(WriteBinaryImage(dir.file("out.bin"), image, 300));
    EXPECT_EQ(dir.Read("out.bin"), content);

    // Replacing a longer file leaves nothing of it behind.
    ASSERT_TRUE(WriteBinaryImage(dir.file("out.bin"), image, 2));
    EXPECT_EQ(dir.Read("out.bin"), content.substr(0, 2));
    ASSERT_TRUE(WriteBinaryImage(dir.file("empty.bin"), image, 0));
    EXPECT_TRUE(std::filesystem::exists(dir.file("empty.bin")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("empty.bin")), 0u);

    ASSERT_TRUE(WriteBinaryImage(dir.file("full.bin"), image, kImageSize));
    EXPECT_EQ(std::filesystem::file_size(dir.file("full.bin")), kImageSize);
}

TEST(BinaryWrite, ReportsFilesThatCannotBeCreatedOrFilled) {
    TempDir dir;
    Image image{};
    ClearImage(image);
    EXPECT_FALSE(WriteBinaryImage(dir.file("no-such-dir/out.bin"), image, 10));
    EXPECT_FALSE(WriteBinaryImage(dir.dir(), image, 10));  // a directory
    EXPECT_FALSE(WriteBinaryImage(dir.file("big.bin"), image, kImageSize + 1));
    // A full device takes the bytes into the stdio buffer and fails at the flush.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(WriteBinaryImage("/dev/full", image, 100));
    }
}

}  // namespace
}  // namespace korvan
