// SPDX-License-Identifier: GPL-3.0-or-later
// Extracting and deleting a folder of 10,000 folders with one file each, against a folder of
// 10,000 files: the walk finds each folder's rows through an index by parent name, so the first
// should take at most twice the time of the second (it also makes 10,000 directories).
// Extraction writes below /dev/shm, so that the figures show the engine rather than the disk.
// Build with -DORU_BUILD_BENCH=ON; run build/bench/walk_bench.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BenchArchives.h"

namespace {

namespace stdfs = std::filesystem;

const std::string kDir = "/dev/shm/oru-walk-bench";

// The archive of the shape, made once per process.
std::string archiveOf(bool folders) {
    static bool made[2] = {false, false};
    const std::string path = kDir + (folders ? "/folders.oru" : "/flat.oru");
    if (!made[folders]) {
        stdfs::create_directories(kDir);
        oru::bench::makeShapedArchive(path, folders ? 10000 : 0, folders ? 1 : 10000);
        made[folders] = true;
    }
    return path;
}

std::vector<oru::Bookmark> topLevel(oru::CatalogTable& catalog) {
    catalog.SetFilterText(oru::CatalogTable::parentFilter(""));
    catalog.SetFiltered(true);
    std::vector<oru::Bookmark> rows;
    for (catalog.First(); !catalog.AtEnd(); catalog.Next()) rows.push_back(*catalog.GetBookmark());
    return rows;
}

void BM_Extract(benchmark::State& state) {
    const std::string archive = archiveOf(state.range(0) != 0);
    const std::string out = kDir + "/out";
    for (auto _ : state) {
        state.PauseTiming();
        stdfs::remove_all(out);
        auto kiv = oru::TKiv::OpenExisting(archive);
        kiv->Catalog().SetOrdering(oru::schema::kListingOrdering);
        const auto rows = topLevel(kiv->Catalog());
        state.ResumeTiming();
        kiv->ExtractEntries(kiv->Catalog(), rows, out);
    }
    stdfs::remove_all(out);
}

// Deleting as `oru delete` does before it compacts: the walk, the deletions and the merge.
void BM_Delete(benchmark::State& state) {
    const std::string archive = archiveOf(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        auto kiv = oru::TKiv::OpenExisting(archive);
        kiv->Catalog().SetOrdering(oru::schema::kListingOrdering);
        const auto rows = topLevel(kiv->Catalog());
        state.ResumeTiming();
        kiv->DeleteEntries(kiv->Catalog(), rows);
        kiv->Catalog().MergeChanges();
    }
}

// Argument: 1 = 10,000 folders with a file each, 0 = 10,000 files in one folder.
BENCHMARK(BM_Extract)->ArgName("folders")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Delete)->ArgName("folders")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
