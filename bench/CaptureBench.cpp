// Time per call of the figure computation, the figure-file parser and the receipt builder, and the
// parser's growth from a 1 KiB to a 1 MiB figure file.
#include <benchmark/benchmark.h>

#include <fstream>

#include "BenchSupport.h"
#include "CsvParser.h"
#include "FigureRules.h"
#include "ReceiptText.h"

namespace {

const BoxTexts kBoxes = {"1234567.89", "0.00",  "1234567.89", "-2345.67", "1236913.56",
                         "12345678",   "23456", "0",          "0"};

void FigureComputationPerCall(benchmark::State& state) {
    for (auto _ : state) {
        FigureComputation result = ComputeFigures(kBoxes, "1234567.89", "1236913.56", true);
        benchmark::DoNotOptimize(result.figures.box5.data());
    }
}
BENCHMARK(FigureComputationPerCall);

void ReceiptBuildPerCall(benchmark::State& state) {
    const std::vector<std::string> lines = {
        "Processing Date: 2026-06-01T09:00:00.042Z", "Payment Indicator: DD",
        "Form Bundle Number: 256660290587", "Charge Ref Number: aCxFaNx0FZsCvyWF",
        "Receipt ID: 2a72a2d5-a0de-4a8b-8e8b-1f6b5f0b9c11"};
    for (auto _ : state) {
        std::string text =
            BuildReceiptFileText("2026-01-01", "2026-03-31", "123456789 : ACME Ltd", lines, kBoxes);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(ReceiptBuildPerCall);

// A figure file of `bytes` bytes: the nine figures on one line, the last followed by a run of
// text the parser drops (as a note typed after the figures would be).
std::string FigureFileOfSize(std::size_t bytes) {
    std::string text = "1234567.89,0.00,1234567.89,2345.67,1232222.22,12345678,23456,0,0";
    if (text.size() < bytes) {
        text.append(bytes - text.size(), 'x');
    }
    return text;
}

void CsvParsePerCall(benchmark::State& state) {
    calvenor::bench::IsolatedRun run;
    const auto path = run.Root() / "figures.csv";
    {
        std::ofstream out(path, std::ios::binary);
        out << FigureFileOfSize(static_cast<std::size_t>(state.range(0)));
    }
    for (auto _ : state) {
        CCsvParser parser(path.string());
        const bool parsed = parser.Parse();
        benchmark::DoNotOptimize(parsed);
        if (!parsed) {
            state.SkipWithError(parser.GetError().c_str());
            break;
        }
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(CsvParsePerCall)->Arg(1024)->Arg(1024 * 1024)->Unit(benchmark::kMicrosecond);

}  // namespace
