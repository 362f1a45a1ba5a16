// Time per build of the fraud-prevention header set, so a regression shows. The set is built
// for every VAT request; these figures watch that it stays negligible beside the request.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "FraudHeaders.h"

namespace {

// The facts of a typical office PC, fixed, so only the builder's own work is measured.
class FixedFacts : public CDeviceFacts {
public:
    bool ReadInterfaces(std::vector<NetworkInterface>& out) const override {
        out.clear();
        NetworkInterface lo;
        lo.name = "lo";
        lo.loopback = true;
        lo.up = true;
        lo.addresses = {{NetworkInterface::Family::IPv4, {127, 0, 0, 1}}};
        NetworkInterface eth;
        eth.name = "eth0";
        eth.up = true;
        eth.hardwareAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        std::vector<std::uint8_t> v6(16, 0);
        v6[0] = 0x2a;
        v6[1] = 0x02;
        v6[15] = 0x07;
        eth.addresses = {{NetworkInterface::Family::IPv4, {192, 168, 1, 20}},
                         {NetworkInterface::Family::IPv6, v6}};
        out = {lo, eth};
        return true;
    }
    std::string DeviceId() const override { return "3f2504e0-4f89-41d3-9a0c-0305e82c3301"; }
    std::string OsFamily() const override { return "Linux"; }
    std::string OsVersion() const override { return "Debian GNU/Linux 12 (bookworm)"; }
    std::string Manufacturer() const override { return "Dell Inc.\n"; }
    std::string Model() const override { return "OptiPlex 7090\n"; }
    std::string LoginName() const override { return "jsmith"; }
    bool LocalAndUtcTime(CivilTime& local, CivilTime& utc) const override {
        local = {2026, 6, 1, 10, 0, 0, 0};
        utc = {2026, 6, 1, 9, 0, 0, 0};
        return true;
    }
    CivilTime UtcNow() const override { return {2026, 6, 1, 9, 0, 0, 42}; }
    std::vector<ScreenFacts> Screens() const override { return {{1920, 1080, 120, 32}}; }
};

// Builder work with fixed facts, a session's first build; the argument is the profile's client
// count (the licence line hashes the whole profile text).
void FraudHeaderBuildFixedFacts(benchmark::State& state) {
    const std::string profile = calvenor::bench::ProfileText(static_cast<int>(state.range(0)));
    const FixedFacts facts;
    for (auto _ : state) {
        CFraudHeaders headers(profile, facts);
        headers.SetWindowSizeReader([] { return WindowSize{1024, 768}; });
        headers.Build();
        benchmark::DoNotOptimize(headers.GetHeaderLines().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(profile.size()));
}
BENCHMARK(FraudHeaderBuildFixedFacts)->Arg(10)->Arg(1000)->Arg(10000);

// A session's first build as the filer does it: interfaces, settings store, firmware files,
// password database, clock.
void FraudHeaderBuildThisMachine(benchmark::State& state) {
    calvenor::bench::IsolatedRun run;
    const std::string profile = calvenor::bench::ProfileText(10);
    SetScreensReader([] { return std::vector<ScreenFacts>{{1920, 1080, 96, 24}}; });
    for (auto _ : state) {
        CFraudHeaders headers(profile);
        headers.SetWindowSizeReader([] { return WindowSize{1024, 768}; });
        headers.Build();
        benchmark::DoNotOptimize(headers.GetHeaderLines().data());
    }
    SetScreensReader({});
}
BENCHMARK(FraudHeaderBuildThisMachine)->Unit(benchmark::kMicrosecond);

}  // namespace
