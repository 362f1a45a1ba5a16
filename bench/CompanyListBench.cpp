// Company-list fill at 1,000 and 10,000 clients: the profile load and the filling of a combo box
// the way the filer's main window lists its clients, on an offscreen screen (see BenchMain.cpp).
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QString>

#include "AgentProfile.h"
#include "BenchSupport.h"

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
        companies.clear();
        companies.addItem(QStringLiteral("Select a Company..."));
        for (const ClientRecord& client : result.profile.clients) {
            companies.addItem(QString::fromStdString(AgentProfile::CompanyListText(client)));
        }
        companies.setCurrentIndex(0);
        benchmark::DoNotOptimize(companies.count());
    }
}
BENCHMARK(CompanyListFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
