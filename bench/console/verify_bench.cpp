#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "console/basic_view.h"
#include "console/console.h"
#include "engine/programmer_manager.h"

namespace korvan {
namespace {

// Keeps the lines as a list box would.
class ListView final : public BasicView {
public:
    void InsertStatusLine(int index, const std::string& text) override {
        lines.insert(lines.begin() + index, text);
    }
    void InsertStatusLines(int firstIndex, std::vector<std::string> texts) override {
        lines.insert(lines.begin() + firstIndex, std::make_move_iterator(texts.begin()), std::make_move_iterator(texts.end()));
    }
    void ClearStatusLines() override { lines.clear(); }
    std::vector<std::string> lines;
};

// A verification in which every one of the 65,536 bytes differs.
void BM_VerifyAllBytesWrong(benchmark::State& state) {
    ProgrammerManager manager;
    manager.Buffer1().fill(0x00);
    manager.Buffer2().fill(0xFF);
    for (auto _ : state) {
        state.PauseTiming();
        ListView view;
        view.lines.reserve(kImageSize + 4);
        TimerQueue timer;
        Console console(manager, view, timer);
        state.ResumeTiming();
        benchmark::DoNotOptimize(console.VerifyBuffers());
        if (view.lines.size() != kImageSize + 3) {
            state.SkipWithError("lines missing");
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kImageSize));
}
BENCHMARK(BM_VerifyAllBytesWrong)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

BENCHMARK_MAIN();
