// Micro-benchmarks of the per-datagram work: judging an answer (valid and the
// commonest rejects) and inserting into the device table; and of naming a
// device's vendor from the IEEE registry.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Network/Buffer.h"
#include "app/base/Device.h"
#include "app/inspect/Hardware.h"
#include "app/wire/Messages.h"

using namespace webfind;

namespace {

BRIVO::Buffer answer(const std::string& name, const std::string& url) {
    BRIVO::Buffer b;
    buildAnswer(b, name, url);
    return b;
}

void judge(benchmark::State& state, const BRIVO::Buffer& datagram) {
    std::string name, url;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseAnswer(datagram, name, url));
        benchmark::ClobberMemory();
    }
}

void ValidAnswer(benchmark::State& state) { judge(state, answer("Living room camera", "http://192.168.1.20:8080/")); }
void OwnProbe(benchmark::State& state) {
    BRIVO::Buffer probe;
    buildProbe(probe);
    judge(state, probe);
}
void WrongMagic(benchmark::State& state) {
    BRIVO::Buffer b = answer("x", "http://x/");
    b[0] = 0;
    judge(state, b);
}
void TooShort(benchmark::State& state) {
    BRIVO::Buffer b = answer("x", "http://x/");
    b.resize(3);
    judge(state, b);
}
void NotHttp(benchmark::State& state) { judge(state, answer("Printer", "ftp://192.168.1.30/")); }
void LongestName(benchmark::State& state) { judge(state, answer(std::string(1476, 'N'), "http://")); }

// Inserting N devices with distinct addresses, as a full round delivers them.
void TableInsert(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        DeviceTable table;
        for (int i = 0; i < n; ++i) {
            Address key{{10, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}};
            table.add(key, "Simulated device", "http://10.0.0.1/");
        }
        benchmark::DoNotOptimize(table.size());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// A repeat from a known address: one lookup in a full table.
void TableDuplicateLookup(benchmark::State& state) {
    DeviceTable table;
    for (int i = 0; i < 10000; ++i)
        table.add(Address{{10, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}}, "d", "http://d/");
    const Address key{{10, 0, 20, 7}};
    for (auto _ : state) benchmark::DoNotOptimize(table.contains(key));
}

// The IEEE registry as a watch reads it: once, the whole file into a table
// (one read per iteration here), and then each vendor found in it.
void RegistryRead(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream csv(IEEE_REGISTRY);
        if (!csv) {
            state.SkipWithError("the IEEE registry (ieee-data) is not installed");
            return;
        }
        VendorRegistry registry(csv);
        benchmark::DoNotOptimize(registry.size());
        state.counters["entries"] = static_cast<double>(registry.size());
        state.counters["KiB"] = static_cast<double>(registry.bytes() >> 10);
    }
}
void RegistryLookup(benchmark::State& state) {
    std::ifstream csv(IEEE_REGISTRY);
    if (!csv) {
        state.SkipWithError("the IEEE registry (ieee-data) is not installed");
        return;
    }
    const VendorRegistry registry(csv);
    uint32_t prefix = 0x3c2af4;
    for (auto _ : state) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:01:02:03", prefix >> 16 & 0xFF, prefix >> 8 & 0xFF,
                      prefix & 0xFF);
        benchmark::DoNotOptimize(registry.vendorOf(mac));
        prefix = prefix * 1103515245u + 12345u;  // a different prefix each time, as random MACs have
    }
}

}  // namespace

BENCHMARK(RegistryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(RegistryLookup);
BENCHMARK(ValidAnswer);
BENCHMARK(OwnProbe);
BENCHMARK(WrongMagic);
BENCHMARK(TooShort);
BENCHMARK(NotHttp);
BENCHMARK(LongestName);
BENCHMARK(TableInsert)->Arg(1000)->Arg(10000);
BENCHMARK(TableDuplicateLookup);
BENCHMARK_MAIN();
