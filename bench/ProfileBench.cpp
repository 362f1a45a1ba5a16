// Profile load at 1,000 and 10,000 clients: the ratio between the sizes shows whether loading
// stays within n log n as an agent's client list grows.
#include <benchmark/benchmark.h>

#include "AgentProfile.h"
#include "BenchSupport.h"

namespace {

void ProfileParse(benchmark::State& state) {
    const std::string text = calvenor::bench::ProfileText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ProfileLoadResult result = ParseAgentProfile(text, "bench-profile.json");
        benchmark::DoNotOptimize(result.profile.clients.data());
        if (!result.loaded) {
            state.SkipWithError(result.error.c_str());
            break;
        }
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ProfileParse)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();

}  // namespace
