// The texts of every failure, made from its kind and values. Texts the design fixes ("Cannot open
// file %s", "Stream write error", "%s找不到這個檔案", ...) stand first as they are; the object (the
// archive, the entry, the file) and the cause follow them.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Error.h"

namespace oru {
namespace {

std::string n(int64_t value) { return std::to_string(value); }

// ": " and the system's reason, when it gave one.
std::string cause(const ErrorValues& v) {
    if (v.errnum == 0) return std::string();
    return std::string(": ") + std::strerror(v.errnum);
}

// What a failure happened to: "ARCHIVE: ENTRY", "ARCHIVE", "PATH", or nothing.
std::string object(const ErrorValues& v) {
    std::string text = v.archive.empty() ? v.path : v.archive;
    if (!v.entry.empty()) text += (text.empty() ? "" : ": ") + v.entry;
    return text;
}

// ": " and the object, when there is one.
std::string named(const ErrorValues& v) {
    const std::string what = object(v);
    return what.empty() ? what : ": " + what;
}

std::string text(ErrorKind kind, const ErrorValues& v) {
    switch (kind) {
        // Files and folders.
        case ErrorKind::NotFound: return v.path + "找不到這個檔案";
        case ErrorKind::CannotOpen: return "Cannot open file " + v.path + cause(v);
        case ErrorKind::CannotCreate: return "Cannot create file " + v.path + cause(v);
        case ErrorKind::InUse: return "Cannot open file " + v.path + ": another program is using it";
        case ErrorKind::ReadError: return "Stream read error" + named(v) + cause(v);
        case ErrorKind::WriteError: return "Stream write error" + named(v) + cause(v);
        case ErrorKind::DiskFull: return "Stream write error: the disk holding " + object(v) + " is full";
        case ErrorKind::CannotCreateFolder:
            return "Unable to create directory" + (v.path.empty() ? std::string() : ": " + v.path) + cause(v);
        case ErrorKind::LinkInTheWay: return v.path + " 是符號連結；解壓縮不會經過連結寫到別處";
        case ErrorKind::NotAFolder: return v.path + " 已經存在而且不是目錄，無法在其中解出";
        case ErrorKind::NoBig5Form: return v.path + ": 名稱含有無法以 Big5 表示的字元";
        case ErrorKind::MissingSupport: return v.detail;

        // The catalog.
        case ErrorKind::CatalogStatus: {
            char code[16];
            std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(v.status));
            return (v.archive.empty() ? std::string() : v.archive + ": ") + "目錄資料錯誤，錯誤碼 " + code;
        }
        case ErrorKind::DamagedCatalog:
            return "Damaged catalog: " + v.detail + (v.archive.empty() ? std::string() : " (" + v.archive + ")");
        case ErrorKind::CatalogTooLarge:
            return "Cannot write the catalog: " + v.detail + (v.archive.empty() ? std::string() : " (" + v.archive + ")");
        case ErrorKind::FieldNotFound: return "Field '" + v.detail + "' not found" + named(v);
        case ErrorKind::FieldType: return "Field '" + v.detail + "' does not hold this kind of value";
        case ErrorKind::InvalidValue: return "Invalid date-time value for field '" + v.detail + "'";
        case ErrorKind::InvalidFilter: return "Invalid filter: " + v.detail;
        case ErrorKind::RowOutOfRange: return "Row " + n(v.count) + " is outside the view";

        // Archives and entries.
        case ErrorKind::NotAnArchive: return v.path + ": 這個檔案不是壓縮檔，不能以新的壓縮檔取代它";
        case ErrorKind::BadFormat: return v.archive + "檔案格式不符" + (v.detail.empty() ? "" : ": " + v.detail);
        case ErrorKind::ReadOnly:
            return v.archive +
                   ": 這個壓縮檔是唯讀的（沒有寫入權限或位於唯讀媒體），只能檢視與解壓縮，無法加入、刪除或重整";
        case ErrorKind::ArchiveInUse: return v.archive + ": 另一個程式正在使用這個壓縮檔，現在無法寫入";
        case ErrorKind::NeedsRecoveryReadOnly:
            return v.archive +
                   ": 上次加入檔案時中斷，這個壓縮檔需要修復才能開啟，但它是唯讀的，無法寫入；"
                   "請以有寫入權限的身分開啟一次";
        case ErrorKind::NeedsRecoveryInUse:
            return v.archive + ": 上次加入檔案時中斷，這個壓縮檔需要修復，但另一個程式正在使用它";
        case ErrorKind::Unrecoverable:
            return v.archive + ": 上次加入檔案時中斷，無法復原（" + v.detail + "）；復原資料保留在 " + v.path;
        case ErrorKind::SideFileTaken:
            return "Cannot create file " + v.path + "：這個名稱已被另一個檔案或連結佔用，請移走它再重整";
        case ErrorKind::SourceTooLarge: return v.path + ": 檔案達到 2 GB，無法加入壓縮檔";
        case ErrorKind::ArchiveFull: return v.path + ": 加入後壓縮檔會達到 2 GB 的上限，未加入";
        case ErrorKind::NoName: return v.path + ": 無法取得這個項目的名稱";
        case ErrorKind::DamagedEntry: return "error" + named(v) + ": 壓縮資料已損壞";
        case ErrorKind::SizeMismatch:
            return "error" + named(v) + ": 解壓縮後是 " + n(v.count) + " 位元組，記錄的大小是 " + n(v.total);
        case ErrorKind::LongerThanRecorded:
            return "error" + named(v) + ": 解壓縮後超過記錄的大小 " + n(v.total) + " 位元組";
        case ErrorKind::CodecFailed: return "error" + named(v) + ": 壓縮程式庫發生錯誤";
        case ErrorKind::StoredOutsideFile: return "Stream read error" + named(v) + ": 儲存的資料位置超出檔案";
        case ErrorKind::StoredOutsideData:
            return object(v) + (object(v).empty() ? "" : ": ") + "儲存的資料位置超出資料區（位置 " + n(v.count) +
                   "，" + n(v.total) + " 位元組）";
        case ErrorKind::StoredShared:
            return object(v) + (object(v).empty() ? "" : ": ") + "儲存的資料與其他項目重疊（位置 " + n(v.count) +
                   "，" + n(v.total) + " 位元組）";
        case ErrorKind::IsAFolder: return v.entry + "是一個目錄";
        case ErrorKind::UnknownEntryType:
            return (v.entry.empty() ? std::string() : v.entry + ": ") + "不明的項目類型（FileType " + n(v.count) +
                   "），不是檔案";
        case ErrorKind::UnsafeName: return "壓縮檔中的名稱「" + v.detail + "」不能當作檔名，無法解出";
        case ErrorKind::TooDeep: return v.archive + ": 資料夾超過 " + n(v.count) + " 層，無法處理";
        case ErrorKind::TooManyPaths:
            return v.archive + ": 資料夾以名稱互相連結的路徑太多（超過 " + n(v.count) + " 步），無法處理";
        case ErrorKind::EntriesFailed: {
            if (v.items.size() == 1) return v.items.front();
            constexpr size_t kListed = 20;
            std::string t = n(static_cast<int64_t>(v.items.size())) + " 個項目未能解出，其他項目已解出：";
            for (size_t i = 0; i < v.items.size() && i < kListed; ++i) t += "\n" + v.items[i];
            if (v.items.size() > kListed) t += "\n……以及其他 " + n(static_cast<int64_t>(v.items.size() - kListed)) + " 個";
            return t;
        }
        case ErrorKind::NoArchiveOpen: return "沒有開啟的壓縮檔";

        // Front ends.
        case ErrorKind::ItemsSkipped: return n(v.count) + (v.count == 1 ? " item" : " items") + " could not be added";
        case ErrorKind::FilesInTheWay: {
            std::string t = "files exist where entries would be extracted:";
            for (const std::string& item : v.items) t += " " + item;
            return t;
        }
        case ErrorKind::EntriesDamaged:
            return n(v.count) + " of " + n(v.total) + " stored files are damaged" +
                   (v.archive.empty() ? std::string() : " in " + v.archive);
        case ErrorKind::NoSuchEntry: return "no entry \"" + v.entry + "\" in " + v.archive;
        case ErrorKind::AmbiguousEntry:
            return "\"" + v.entry + "\" matches " + n(v.count) + " entries in " + v.archive;

        case ErrorKind::Cancelled: return "作業已取消";
        case ErrorKind::Text: return v.detail;
    }
    return v.detail;
}

}  // namespace

std::string errorText(ErrorKind kind, const ErrorValues& values) {
    std::string t = text(kind, values);
    if (!values.keptIn.empty()) {
        t += values.keptMaybe ? "；" + values.keptIn + " 可能保留了完整的壓縮檔"
                              : ": 完整的壓縮檔保留在 " + values.keptIn;
    }
    return t;
}

}  // namespace oru
