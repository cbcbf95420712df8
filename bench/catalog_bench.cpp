// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog table under the load of a large archive: rows appended one at a time to a table
// ordered by FileType;FileName while a clone filtered on one folder watches, then 10,000 rows
// deleted folder by folder through filtered clones, as the delete command walks folders.
// Growth: the run for 200,000 rows should take at most 2.5 times the run for 100,000.
// Folder views: one filtered clone per folder, as the window builds its folder tree and the
// engine walks folders to extract; the cost should follow the rows of each folder, not the table.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"

namespace {

using oru::CatalogTable;
namespace schema = oru::schema;

struct Row {
    std::string name;
    std::string parent;
    int type;
};

// A deterministic mix of names as archives hold them: camera files, documents in mixed case,
// Chinese names (CP950), numbered data files; one row in ten is a folder; about 1,000 parents.
std::vector<Row> makeRows(int count, std::vector<std::string>& parents) {
    std::mt19937 rng(2026);
    const std::vector<std::string> chinese = {oru::cp950::fromUtf8("報告"), oru::cp950::fromUtf8("照片"),
                                              oru::cp950::fromUtf8("會議記錄"), oru::cp950::fromUtf8("中文檔案")};
    parents.clear();
    parents.push_back("");  // the top level
    for (int i = 1; i < 1000; ++i) {
        switch (i % 4) {
            case 0: parents.push_back("Folder " + std::to_string(i)); break;
            case 1: parents.push_back("photos_" + std::to_string(2000 + i)); break;
            case 2: parents.push_back(chinese[i % chinese.size()] + std::to_string(i)); break;
            default: parents.push_back("Src" + std::to_string(i)); break;
        }
    }
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(count));
    char buffer[64];
    for (int i = 0; i < count; ++i) {
        Row r;
        r.parent = parents[rng() % parents.size()];
        if (i % 10 == 0) {
            r.type = 0;
            r.name = parents[1 + rng() % (parents.size() - 1)];
        } else {
            r.type = 1;
            unsigned n = rng() % 100000;
            switch (rng() % 5) {
                case 0: std::snprintf(buffer, sizeof buffer, "IMG_%05u.JPG", n); r.name = buffer; break;
                case 1: std::snprintf(buffer, sizeof buffer, "Report %u.docx", n); r.name = buffer; break;
                case 2: std::snprintf(buffer, sizeof buffer, "data_%u.csv", n); r.name = buffer; break;
                case 3: r.name = chinese[n % chinese.size()] + std::to_string(n) + ".txt"; break;
                default: std::snprintf(buffer, sizeof buffer, "readme%u.TXT", n % 100); r.name = buffer; break;
            }
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

void BM_AppendThenDeleteThroughFilteredClones(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    constexpr int kDeleted = 10000;
    oru::collation::resetLocale("en_US");
    std::vector<std::string> parents;
    const std::vector<Row> rows = makeRows(count, parents);
    double appendSeconds = 0, deleteSeconds = 0;

    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CatalogTable catalog;
        catalog.SetOrdering(schema::kListingOrdering);
        CatalogTable watcher;
        watcher.CloneFrom(catalog);
        watcher.SetFilterText(CatalogTable::parentFilter(parents[1]));
        watcher.SetFiltered(true);
        int offset = 16;
        for (const Row& r : rows) {
            catalog.Append();
            catalog.SetText(schema::kFileName, r.name);
            catalog.SetText(schema::kParentName, r.parent);
            catalog.SetInteger(schema::kFileType, r.type);
            if (r.type == 1) {
                catalog.SetInteger(schema::kOffset, offset);
                catalog.SetInteger(schema::kOriginalSize, 1000);
                catalog.SetInteger(schema::kStoredSize, 500);
                offset += 500;
            }
            catalog.SetDateTime(schema::kCheckinDate, 46000.5);
            catalog.Post();
        }
        auto appended = std::chrono::steady_clock::now();

        int deleted = 0;
        for (size_t p = 1; p < parents.size() && deleted < kDeleted; ++p) {
            CatalogTable clone;
            clone.CloneFrom(catalog);
            clone.SetFilterText(CatalogTable::parentFilter(parents[p]));
            clone.SetFiltered(true);
            clone.First();
            while (!clone.AtEnd() && deleted < kDeleted) {
                clone.DeleteCurrent();
                ++deleted;
            }
        }
        auto done = std::chrono::steady_clock::now();
        if (deleted != kDeleted || catalog.ViewSize() != count - kDeleted) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(watcher.ViewSize());
        appendSeconds += std::chrono::duration<double>(appended - start).count();
        deleteSeconds += std::chrono::duration<double>(done - appended).count();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["append_rows_per_s"] = count * iterations / appendSeconds;
    state.counters["delete_rows_per_s"] = kDeleted * iterations / deleteSeconds;
    state.counters["append_ms"] = 1000 * appendSeconds / iterations;
    state.counters["delete_ms"] = 1000 * deleteSeconds / iterations;
    state.SetItemsProcessed(state.iterations() * (count + kDeleted));
}

BENCHMARK(BM_AppendThenDeleteThroughFilteredClones)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Builds a filtered clone for each of `folders` folders of a table of `count` rows ordered by
// FileType;FileName, as the window's tree and the engine's extract walk do.
void BM_FilteredClonePerFolder(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int folders = static_cast<int>(state.range(1));
    oru::collation::resetLocale("en_US");
    CatalogTable catalog;
    catalog.SetOrdering(schema::kListingOrdering);
    std::vector<std::string> parents;
    for (int p = 0; p < folders; ++p) parents.push_back("folder " + std::to_string(p));
    char name[48];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "file_%06d.dat", (i * 7919) % count);
        catalog.Append();
        catalog.SetText(schema::kFileName, name);
        catalog.SetText(schema::kParentName, parents[static_cast<size_t>(i % folders)]);
        catalog.SetInteger(schema::kFileType, 1);
        catalog.Post();
    }
    for (auto _ : state) {
        int shown = 0;
        for (const std::string& parent : parents) {
            CatalogTable clone;
            clone.CloneFrom(catalog);
            clone.SetFilterText(CatalogTable::parentFilter(parent));
            clone.SetFiltered(true);
            shown += clone.ViewSize();
        }
        if (shown != count) state.SkipWithError("wrong row count");
    }
    state.counters["folders_per_s"] =
        benchmark::Counter(static_cast<double>(folders) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FilteredClonePerFolder)->Args({10000, 200})->Args({50000, 1000})->Unit(benchmark::kMillisecond);

}  // namespace
