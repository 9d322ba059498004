// Intel HEX conversion throughput on a full 64 KiB image written as 16-byte data records.
// `bench_hex --write-hex=FILE` writes the measured text to FILE and exits, so other tools
// can be timed on exactly the same input (bench/hex_vs_objcopy.sh).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "data/hex_file.h"

namespace {

constexpr std::size_t kRecordBytes = 16;

class SilentSink : public korvan::MessageSink {
public:
    void ShowMessage(const korvan::Message& /*message*/) override {}
};

void AppendHexByte(std::string& text, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
}

// Firmware-like content: pseudo-random bytes with a fixed seed, valid checksums, CRLF lines.
std::string MakeImageText() {
    std::mt19937 generator(8051);
    std::string text;
    text.reserve(korvan::kImageSize / kRecordBytes * 45 + 16);
    for (std::size_t address = 0; address < korvan::kImageSize; address += kRecordBytes) {
        std::uint8_t record[4 + kRecordBytes];
        record[0] = kRecordBytes;
        record[1] = static_cast<std::uint8_t>(address >> 8);
        record[2] = static_cast<std::uint8_t>(address & 0xFF);
        record[3] = 0x00;
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            record[4 + k] = static_cast<std::uint8_t>(generator());
        }
        std::uint8_t sum = 0;
        text.push_back(':');
        for (const std::uint8_t byte : record) {
            AppendHexByte(text, byte);
            sum = static_cast<std::uint8_t>(sum + byte);
        }
        AppendHexByte(text, static_cast<std::uint8_t>(0x100 - sum));
        text += "\r\n";
    }
    text += ":00000001FF\r\n";
    return text;
}

void BM_ConvertHexFile(benchmark::State& state) {
    const std::string text = MakeImageText();
    korvan::Image image{};
    SilentSink sink;
    for (auto _ : state) {
        const int placed = korvan::ConvertHexFile(text, image, sink);
        if (placed != static_cast<int>(korvan::kImageSize)) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ConvertHexFile);

}  // namespace

int main(int argc, char** argv) {
    constexpr std::string_view kWriteOption = "--write-hex=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kWriteOption)) {
        const std::string path(std::string_view(argv[1]).substr(kWriteOption.size()));
        const std::string text = MakeImageText();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = file != nullptr && std::fclose(file) == 0;
        if (!written || !closed) {
            std::fprintf(stderr, "bench_hex: cannot write %s\n", path.c_str());
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
