// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/TestJob.h"

#include "archive/CountingSink.h"
#include "archive/ErrorReason.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"

namespace oru {

TestJob::TestJob(TKiv& archive, Progress* progress, Report onEntry)
    : archive_(archive), progress_(progress), onEntry_(std::move(onEntry)) {}

TestSummary TestJob::Run() {
    // Every row, whatever folder the caller's cursor shows.
    CatalogTable all;
    all.CloneFrom(archive_.Catalog());
    all.SetFiltered(false);
    TestSummary summary;
    Progress::Info info;
    for (all.First(); !all.AtEnd(); all.Next()) {
        if (all.GetInteger(schema::kFileType) != schema::kFile) continue;
        if (progress_ && progress_->cancelled()) throw Cancelled();
        EntryCheck check;
        check.row = all.RecordNumber() - 1;
        check.name = cp950::toUtf8(all.GetText(schema::kFileName));
        if (const std::string parent = all.GetText(schema::kParentName); !parent.empty()) {
            check.name = cp950::toUtf8(parent) + "/" + check.name;
        }
        CountingSink sink;
        try {
            // A stream that ends before the recorded size is damage as much as a bad checksum.
            archive_.ReadEntry(all, sink);
        } catch (const Cancelled&) {
            throw;
        } catch (const Error& e) {
            // The test's finding, not its failure: one damaged entry must not hide the next.
            check.damage = e.naming(archive_.ArchivePath(), check.name);
            ++summary.damaged;
        }
        check.decoded = sink.count();
        ++summary.checked;
        if (onEntry_) onEntry_(check);
        info.itemsDone = static_cast<uint64_t>(summary.checked);
        info.bytesDone += static_cast<uint64_t>(check.decoded);
        info.currentName = check.name;
        if (progress_) progress_->update(info);
    }
    return summary;
}

std::string TestJob::ReasonText(const Error& damage) { return reasonText(damage); }

}  // namespace oru
