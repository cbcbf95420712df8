// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading the catalog datapacket of a large archive: 100,000 rows, each logged as an
// insertion (100,000 change-log entries). Reports MB/s of packet bytes (target: 150 each way).
// BM_OpenCatalog loads the packet into a table ordered as the listing is, with a clone showing
// one folder, as opening an archive does. Opening happens once per process: run a single
// iteration in a fresh process to see the cost of touching new memory, e.g.
//   datapacket_bench --benchmark_filter=Load --benchmark_min_time=0.000001
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "catalog/Datapacket.h"
#include "catalog/TableData.h"
#include "platform/Collation.h"
#include "platform/Stream.h"

namespace {

using namespace oru;

constexpr uint32_t kRows = 100000;

template <typename T>
Field number(T v) {
    Field f{FieldState::Value, std::string(sizeof v, '\0')};
    std::memcpy(f.raw.data(), &v, sizeof v);
    return f;
}

const TableData& largeCatalog() {
    static const TableData table = [] {
        TableData t;
        t.columns = TableData::archiveSchema();
        t.slots.reserve(kRows);
        t.log.reserve(kRows);
        char name[48];
        for (uint32_t n = 1; n <= kRows; ++n) {
            std::snprintf(name, sizeof name, "report-%06u-final-version.txt", n);
            const std::string parent = "folder" + std::to_string(n % 500);
            const int64_t offset = 16 + int64_t{n} * 700;
            t.slots.push_back(Slot{status::kInserted, n,
                                   {Field{FieldState::Value, name}, Field{FieldState::Value, parent},
                                    number<int32_t>(1), number(offset), number<int64_t>(2000),
                                    number<int64_t>(700), Field{}, number(63245361600000.0 + n)}});
            t.log.push_back({n, 0, logkind::kInsert});
        }
        t.nextOrder = kRows + 1;
        return t;
    }();
    return table;
}

void reportRate(benchmark::State& state, size_t packetBytes) {
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(packetBytes) * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
    state.counters["packet_MB"] = static_cast<double>(packetBytes) / 1e6;
}

void BM_SavePacket(benchmark::State& state) {
    const TableData& table = largeCatalog();
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> packet = datapacket::write(table);
        bytes = packet.size();
        benchmark::DoNotOptimize(packet.data());
    }
    reportRate(state, bytes);
}

void BM_LoadPacket(benchmark::State& state) {
    const std::vector<uint8_t> packet = datapacket::write(largeCatalog());
    for (auto _ : state) {
        TableData table = datapacket::read(packet.data(), packet.size());
        benchmark::DoNotOptimize(table.slots.data());
    }
    reportRate(state, packet.size());
}

void BM_OpenCatalog(benchmark::State& state) {
    collation::resetLocale("en_US");
    const std::vector<uint8_t> packet = datapacket::write(largeCatalog());
    for (auto _ : state) {
        MemoryStream stream(packet);
        CatalogTable table;
        table.SetOrdering(schema::kListingOrdering);
        CatalogTable folder;
        folder.CloneFrom(table);
        folder.SetFilterText(CatalogTable::parentFilter("folder7"));
        folder.SetFiltered(true);
        table.LoadPacket(stream);
        if (folder.ViewSize() != static_cast<int>(kRows / 500)) state.SkipWithError("wrong folder size");
        benchmark::DoNotOptimize(table.ViewSize());
    }
    reportRate(state, packet.size());
}

}  // namespace

BENCHMARK(BM_SavePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCatalog)->Unit(benchmark::kMillisecond);
