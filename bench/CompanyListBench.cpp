// Company-list fill at 1,000 and 10,000 clients: the profile load and the filling of a combo box
// through the filer main window's own fill, on an offscreen screen (see BenchMain.cpp).
#include <benchmark/benchmark.h>

#include <QComboBox>

#include "AgentProfile.h"
#include "BenchSupport.h"
#include "CompanyList.h"

namespace {

void CompanyListFill(benchmark::State& state) {
    const std::string text = calvenor::bench::ProfileText(static_cast<int>(state.range(0)));
    QComboBox companies;
    for (auto _ : state) {
        ProfileLoadResult result = ParseAgentProfile(text, "bench-profile.json");
        if (!result.loaded) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        FillCompanyList(companies, result.profile.clients);
        benchmark::DoNotOptimize(companies.count());
    }
}
BENCHMARK(CompanyListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
