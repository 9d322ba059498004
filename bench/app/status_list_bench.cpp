// What the operator waits for: a verification's lines shown at once, each new line selected
// at a cost that does not grow with the list, and a 64 KiB image painted and compared.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/hex_view.h"
#include "app/status_list.h"

namespace {

constexpr int kVerificationLines = 65536;

std::vector<std::string> VerificationLines(int count) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    char text[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "Verify Error at %04X: Buffer1 %02X, Chip %02X", i, i & 0xFF, ~i & 0xFF);
        lines.emplace_back(text);
    }
    return lines;
}

// Lets the view lay out and paint what the last change asked for.
void Settle(QAbstractScrollArea& view) {
    QApplication::processEvents();
    view.viewport()->repaint();
}

void BM_StatusListShowsVerification(benchmark::State& state) {
    const std::vector<std::string> lines = VerificationLines(kVerificationLines);
    for (auto _ : state) {
        // Timed by hand: building the list and tearing it down are not the operator's wait.
        korvan::StatusList list;
        list.resize(400, 300);
        list.show();
        Settle(list);
        std::vector<std::string> batch = lines;
        const auto start = std::chrono::steady_clock::now();
        list.lines().InsertMany(0, std::move(batch));
        list.Select(kVerificationLines - 1);
        Settle(list);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_StatusListShowsVerification)->UseManualTime()->Unit(benchmark::kMillisecond);

// One AddStatus: insert at the end, select it, paint. The list holds state.range(0) lines.
void BM_StatusListAddsLine(benchmark::State& state) {
    korvan::StatusList list;
    list.resize(400, 300);
    list.show();
    list.lines().InsertMany(0, VerificationLines(static_cast<int>(state.range(0))));
    Settle(list);
    const std::string line = "Programmer: Ready.";
    for (auto _ : state) {
        const int row = list.lines().rowCount();
        list.lines().Insert(row, line);
        list.Select(row);
        Settle(list);
    }
}
BENCHMARK(BM_StatusListAddsLine)->Arg(10)->Arg(60000)->Unit(benchmark::kMicrosecond);

// The same step on a plain list widget, for comparison.
void BM_ListWidgetAddsLine(benchmark::State& state) {
    QListWidget list;
    list.resize(400, 300);
    list.show();
    for (const std::string& text : VerificationLines(static_cast<int>(state.range(0)))) {
        list.addItem(QString::fromStdString(text));
    }
    Settle(list);
    const QString line = QStringLiteral("Programmer: Ready.");
    for (auto _ : state) {
        list.insertItem(list.count(), line);
        list.setCurrentRow(list.count() - 1);
        Settle(list);
    }
}
BENCHMARK(BM_ListWidgetAddsLine)->Arg(10)->Arg(5000)->Unit(benchmark::kMicrosecond);

korvan::Image Counting(std::uint8_t seed) {
    korvan::Image image{};
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return image;
}

// A new image in the buffer (a load, a read), then the view painted.
void BM_HexViewReplacedAndPaint(benchmark::State& state) {
    korvan::Image image = Counting(0);
    korvan::BufferModel buffer(image);
    korvan::HexView view;
    view.SetModel(&buffer);
    view.resize(view.sizeHint().width(), 600);
    view.show();
    Settle(view);
    for (auto _ : state) {
        buffer.Replaced();
        view.viewport()->repaint();
    }
}
BENCHMARK(BM_HexViewReplacedAndPaint)->Unit(benchmark::kMicrosecond);

// Every byte differs: the comparison behind the view's marks, with the view told.
void BM_HexViewMarksAllDiffering(benchmark::State& state) {
    korvan::Image image = Counting(0);
    const korvan::Image reference = Counting(1);
    korvan::BufferModel buffer(image);
    korvan::HexView view;
    view.SetModel(&buffer);
    for (auto _ : state) {
        buffer.MarkDifferences(reference);
        benchmark::DoNotOptimize(view.DifferenceCount());
    }
}
BENCHMARK(BM_HexViewMarksAllDiffering)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle("Fusion");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
