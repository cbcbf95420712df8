// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalog table: an in-memory table of an archive's entries. Every CatalogTable object is a
// cursor (ordering, filter, view, current row, state) on rows shared with the cursors cloned from
// it. The first cursor, made with the archive schema, owns the rows together with its clones.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/TableData.h"

namespace oru {

class Stream;
class TableShared;  // the rows, change log and cursor registry of one table (private)

// Names one row version and the record number it had when taken. version tells apart row
// versions that reuse a slot number given back by a merge (0: not checked).
struct Bookmark {
    uint32_t slot = 0;
    int recordNumber = 0;
    uint64_t version = 0;
    bool operator==(const Bookmark&) const = default;
};

// A view bound to a cursor (the window's listing). Told after the fact; indexes are 0-based
// positions in the cursor's view. Nothing is sent while notifications are suspended.
class CatalogObserver {
public:
    virtual ~CatalogObserver() = default;
    virtual void viewReset() = 0;                    // the whole view may have changed
    virtual void rowInserted(int index) = 0;         // a row now stands at index
    virtual void rowRemoved(int index) = 0;          // the row at index left the view
    virtual void rowMoved(int from, int to) = 0;     // removed at from, then inserted at to
    virtual void rowChanged(int index) = 0;          // the row at index has new content
    virtual void currentChanged(int index) = 0;      // the current row; -1 for none
    virtual void stateChanged() = 0;                 // browsing / editing / appending changed
};

// Status code of a failure without message text: SetRecordNumber outside the view.
inline constexpr int kRecordNumberOutOfRange = 0x2201;

class CatalogTable {
public:
    enum class State { Browsing, Editing, Appending };

    // A new table with the archive schema, no rows, default order, no filter, browsing.
    CatalogTable();
    ~CatalogTable();
    CatalogTable(const CatalogTable&) = delete;
    CatalogTable& operator=(const CatalogTable&) = delete;

    // Makes this cursor a clone of source: shared rows, source's ordering and view order, no
    // filter, source's current row. Releasing a clone changes no row and no other cursor.
    void CloneFrom(CatalogTable& source);

    // --- ordering and filter
    void SetOrdering(const std::string& fields);   // "FileType;FileName", "" = default order
    const std::string& Ordering() const;
    // "ParentName='name'" (quotes doubled); while filtered, a text of another form fails
    // InvalidFilter and a field the table lacks FieldNotFound.
    void SetFilterText(const std::string& text);
    const std::string& FilterText() const;
    void SetFiltered(bool on);
    bool Filtered() const;
    // "ParentName=" + name in single quotes, each single quote doubled.
    static std::string parentFilter(const std::string& name);

    // --- moving
    void First();
    void Next();
    bool AtEnd() const;
    bool IsEmpty() const;
    int RecordNumber() const;       // 1-based; 0 when the view is empty
    void SetRecordNumber(int n);    // fails CatalogStatus 0x2201 outside 1..view size
    int ViewSize() const;

    // --- changing rows
    // Append and Edit fail ClosedDataset after a failed load.
    void Append();
    void Edit();
    // Fails RecordNotFound, storing nothing, when another cursor deleted or changed the row
    // since Edit.
    void Post();
    // Fails EmptyDataset with an empty view; while editing a row that another cursor removed,
    // fails RecordNotFound and deletes nothing.
    void DeleteCurrent();
    State GetState() const;

    // --- fields of the current (or started) row; unknown names fail FieldNotFound
    std::string GetText(const std::string& field) const;
    int32_t GetInteger(const std::string& field) const;
    double GetDateTime(const std::string& field) const;
    bool HasValue(const std::string& field) const;      // value, not null or unassigned
    bool HasField(const std::string& field) const;      // the table has a column of that name
    // Writers fail NotEditing while browsing. Accessors used on a field of another kind fail
    // FieldType; SetDateTime refuses NaN and infinity (InvalidValue).
    void SetText(const std::string& field, const std::string& value);
    void SetInteger(const std::string& field, int32_t value);
    void SetDateTime(const std::string& field, double value);
    // Stores value's bytes exactly, trailing spaces included (SetText cuts at the first zero byte,
    // to the width, and trims trailing spaces). A value longer than the column's width, or
    // holding a zero byte (which ends a text in a packet), fails InvalidValue.
    void SetBytes(const std::string& field, std::string_view value);
    // The full 64 bits into an i8 column; into an i4 column only values that fit (else
    // InvalidValue).
    void SetInt64(const std::string& field, int64_t value);
    // Clears a field of the started row back to unassigned.
    void SetUnassigned(const std::string& field);
    // 64-bit reads for tools that check sizes (the engine stores through 32 bits).
    int64_t GetInt64(const std::string& field) const;

    // Reads a field of the row at a 0-based view index without moving the cursor (the listing);
    // an index outside the view fails RowOutOfRange.
    std::string TextAt(int index, const std::string& field) const;
    int64_t IntegerAt(int index, const std::string& field) const;
    double DateTimeAt(int index, const std::string& field) const;
    bool HasValueAt(int index, const std::string& field) const;

    // --- bookmarks
    std::optional<Bookmark> GetBookmark() const;
    void GotoBookmark(const std::optional<Bookmark>& bookmark);  // fails RecordNotFound
    static int CompareBookmarks(const Bookmark& a, const Bookmark& b);

    // --- notifications
    void Bind(CatalogObserver* observer);     // one bound view; nullptr unbinds
    void SuspendNotifications();
    void ResumeNotifications();

    // --- the table's rows (called on the first cursor)
    void MergeChanges();
    void EmptyTable();
    // Appends columns (none of them may share a name with one the table has: InvalidValue);
    // every row, and every row being edited or appended, gets them unassigned.
    void AddColumns(const std::vector<Column>& columns);
    void SavePacket(Stream& stream);          // writes at the position; position ends behind it
    // Bytes from the position to the end; every cursor of the table builds its view anew. On a
    // damaged packet the table is left without fields and rows and the error passes on.
    void LoadPacket(Stream& stream);

    // The shared row store, for the datapacket code, tools and tests. Read-only.
    const TableData& Data() const;
    // The whole packet as bytes (what SavePacket writes).
    std::vector<uint8_t> PacketBytes();

private:
    std::shared_ptr<TableShared> shared_;
    struct CursorState;
    std::unique_ptr<CursorState> cur_;
    friend class TableShared;
};

}  // namespace oru
