// Obligations answers of 10 and 1,000 periods: the parse of HMRC's answer, whose growth between
// the sizes shows whether a long history of periods stays within n log n.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "Obligations.h"

namespace {

// An answer of `periods` quarters, the newest open and the rest fulfilled, as HMRC words it.
std::string ObligationsAnswer(int periods) {
    std::string body = "{\"obligations\":[";
    for (int i = 0; i < periods; ++i) {
        const int year = 2017 + i / 4;
        const int quarter = i % 4;
        const bool open = i + 1 == periods;
        char entry[256];
        std::snprintf(
            entry, sizeof(entry),
            "%s{\"start\":\"%04d-%02d-01\",\"end\":\"%04d-%02d-28\",\"due\":\"%04d-%02d-07\","
            "\"status\":\"%s\",\"periodKey\":\"%02d%c%d\"%s}",
            i == 0 ? "" : ",", year, quarter * 3 + 1, year, quarter * 3 + 3, year, quarter * 3 + 3,
            open ? "O" : "F", year % 100, 'A' + quarter, i % 10,
            open ? "" : ",\"received\":\"2020-01-05\"");
        body += entry;
    }
    body += "]}";
    return body;
}

void ObligationsParse(benchmark::State& state) {
    const int periods = static_cast<int>(state.range(0));
    const std::string body = ObligationsAnswer(periods);
    for (auto _ : state) {
        CObligations obligations(body);
        benchmark::DoNotOptimize(obligations.GetObligations().data());
        if (obligations.GetObligations().size() != static_cast<std::size_t>(periods)) {
            state.SkipWithError("the answer did not parse whole");
            break;
        }
    }
}
BENCHMARK(ObligationsParse)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
