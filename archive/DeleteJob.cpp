#include "archive/DeleteJob.h"

#include "archive/zipUtil.h"

namespace oru {

DeleteJob::DeleteJob(TKiv& archive, CatalogTable& cursor, std::vector<Bookmark> rows)
    : archive_(archive), cursor_(cursor), rows_(std::move(rows)) {}

void DeleteJob::Run() {
    const TKiv::Writing writing(archive_);
    archive_.DeleteEntries(cursor_, rows_);
    cursor_.MergeChanges();
    archive_.Compact();
}

}  // namespace oru
