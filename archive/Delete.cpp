// Deleting an entry, a folder with every row below it, from the catalog.
#include "archive/Operation.h"

namespace oru {

void TKiv::DeleteEntry(CatalogTable& cursor) {
    const Writing writing(*this);
    Run run;
    deleteAt(run, cursor);
}

void TKiv::deleteAt(Run& run, CatalogTable& cursor) {
    if (cursor.IsEmpty()) return;
    if (cursor.GetInteger(schema::kFileType) == schema::kFile) {
        cursor.DeleteCurrent();
        return;
    }
    const std::string name = cursor.GetText(schema::kFileName);
    // Below a folder whose name is already on the path lie the rows being deleted already: the
    // row itself goes, its children are not walked again.
    if (run.enterName(name)) {
        const auto folder = cursor.GetBookmark();
        {
            CatalogTable children;
            showChildren(children, cursor, name);
            while (!children.AtEnd()) deleteAt(run, children);
        }
        run.openNames.pop_back();
        // Through a cycle of names the walk may have deleted this very row already; then the
        // cursor stands on another row, which must stay.
        const auto now = cursor.GetBookmark();
        if (!folder || !now || now->slot != folder->slot) return;
    }
    cursor.DeleteCurrent();
}

}  // namespace oru
