// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of every error kind in both languages: English texts hold no Chinese character and
// name what the Chinese texts name; the Traditional Chinese texts are the design's, character
// for character.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "tests/platform/InLanguage.h"

namespace oru {
namespace {

using language::Language;

// The first CJK character (ideographs, their punctuation, fullwidth forms) in UTF-8 text, as
// its code point; 0 when there is none.
char32_t firstCjk(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0x7F >> length);
        for (int k = 1; k < length && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
        if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF)) return c;
        i += length;
    }
    return 0;
}

std::string textIn(Language language, ErrorKind kind, const ErrorValues& values) {
    InLanguage in(language);
    return errorText(kind, values);
}

// Kinds whose text the design gives in English: they read the same in both languages.
bool designGivesEnglish(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::CannotOpen:
        case ErrorKind::CannotCreate:
        case ErrorKind::ReadError:
        case ErrorKind::WriteError:
        case ErrorKind::CannotCreateFolder:
        case ErrorKind::FieldNotFound:
        case ErrorKind::RecordNotFound:
        case ErrorKind::EmptyDataset:
        case ErrorKind::NotEditing:
        case ErrorKind::Text:
            return true;
        default:
            return false;
    }
}

// Kinds still English in the Chinese catalog: tests of the catalog and archive layers check their
// texts as they stand.
bool stillEnglish(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::InUse:
        case ErrorKind::DiskFull:
        case ErrorKind::DamagedCatalog:
        case ErrorKind::InvalidValue:
        case ErrorKind::InvalidFilter:
        case ErrorKind::ClosedDataset:
            return true;
        default:
            return false;
    }
}

// Every kind, each value set: English has no CJK character, Chinese has one unless the design
// gives the text in English, and the English text names every value the Chinese one names.
TEST(ErrorTextTest, EveryKindHasAnEnglishAndATraditionalChineseText) {
    const ErrorValues samples[] = {
        {.archive = "a.oru", .entry = "docs/b.txt", .path = "in/c.txt", .detail = "DETAIL", .count = 3,
         .total = 7, .status = 0x2702, .items = {"x.txt: one", "y.txt: two"}},
        {.archive = "a.oru", .entry = "docs/b.txt", .path = "in/c.txt", .count = 1, .total = 1,
         .items = {"x.txt: one"}, .keptIn = "a.oru.new"},
        {.path = "in/c.txt", .detail = "DETAIL", .keptIn = "a.oru.new", .keptMaybe = true},
        {},
    };
    for (int k = 0; k <= static_cast<int>(ErrorKind::Text); ++k) {
        const ErrorKind kind = static_cast<ErrorKind>(k);
        for (const ErrorValues& v : samples) {
            const std::string en = textIn(Language::English, kind, v);
            const std::string zh = textIn(Language::TraditionalChinese, kind, v);
            EXPECT_EQ(firstCjk(en), 0u) << "kind " << k << ": " << en;
            if (kind == ErrorKind::Text || kind == ErrorKind::EntriesFailed) continue;  // texts made elsewhere
            if ((designGivesEnglish(kind) || stillEnglish(kind)) && v.keptIn.empty()) {
                EXPECT_EQ(zh, en) << "kind " << k;
            } else {
                EXPECT_NE(firstCjk(zh), 0u) << "kind " << k << ": " << zh;
            }
            for (const std::string& value : {v.archive, v.entry, v.path, v.detail, v.keptIn}) {
                if (!value.empty() && zh.find(value) != std::string::npos) {
                    EXPECT_NE(en.find(value), std::string::npos) << "kind " << k << ": " << en << " lacks " << value;
                }
            }
        }
    }
}

std::string because(int errnum) { return std::string(": ") + std::strerror(errnum); }

// The design's texts, and the Traditional Chinese texts that stand beside them.
TEST(ErrorTextTest, TraditionalChineseTextsAreTheDesignsExactly) {
    const struct {
        ErrorKind kind;
        ErrorValues values;
        std::string text;
    } cases[] = {
        {ErrorKind::NotFound, {.path = "missing.oru"}, "missing.oru找不到這個檔案"},
        {ErrorKind::CannotOpen, {.path = "c.oru", .errnum = ENOENT}, "Cannot open file c.oru" + because(ENOENT)},
        {ErrorKind::CannotCreate, {.path = "c.oru"}, "Cannot create file c.oru"},
        {ErrorKind::ReadError, {.archive = "x.oru", .entry = "a.txt"}, "Stream read error: x.oru: a.txt"},
        {ErrorKind::ReadError, {}, "Stream read error"},
        {ErrorKind::WriteError, {.path = "out/a.txt", .errnum = EIO}, "Stream write error: out/a.txt" + because(EIO)},
        {ErrorKind::CannotCreateFolder, {}, "Unable to create directory"},
        {ErrorKind::CannotCreateFolder, {.path = "out"}, "Unable to create directory: out"},
        {ErrorKind::LinkInTheWay, {.path = "out/l"}, "out/l 是符號連結；解壓縮不會經過連結寫到別處"},
        {ErrorKind::NotAFolder, {.path = "out/f"}, "out/f 已經存在而且不是目錄，無法在其中解出"},
        {ErrorKind::NoBig5Form, {.path = "x.txt"}, "x.txt: 名稱含有無法以 Big5 表示的字元"},
        {ErrorKind::CatalogStatus, {.status = 0x2702}, "目錄資料錯誤，錯誤碼 0x2702"},
        {ErrorKind::CatalogStatus, {.archive = "a.oru", .status = 0x4005}, "a.oru: 目錄資料錯誤，錯誤碼 0x4005"},
        {ErrorKind::FieldNotFound, {.detail = "Size"}, "Field 'Size' not found"},
        {ErrorKind::RecordNotFound, {}, "Record not found"},
        {ErrorKind::EmptyDataset, {}, "Cannot perform this operation on an empty dataset"},
        {ErrorKind::NotEditing, {}, "Dataset not in edit or insert mode"},
        {ErrorKind::NotAnArchive, {.path = "notes.txt"}, "notes.txt: 這個檔案不是壓縮檔，不能以新的壓縮檔取代它"},
        {ErrorKind::BadFormat, {.archive = "notes.txt"}, "notes.txt檔案格式不符"},
        {ErrorKind::BadFormat, {.archive = "n.oru", .detail = "why"}, "n.oru檔案格式不符: why"},
        {ErrorKind::ReadOnly, {.archive = "a.oru"},
         "a.oru: 這個壓縮檔是唯讀的（沒有寫入權限或位於唯讀媒體），只能檢視與解壓縮，無法加入、刪除或重整"},
        {ErrorKind::ArchiveInUse, {.archive = "a.oru"}, "a.oru: 另一個程式正在使用這個壓縮檔，現在無法寫入"},
        {ErrorKind::NeedsRecoveryReadOnly, {.archive = "a.oru"},
         "a.oru: 上次加入檔案時中斷，這個壓縮檔需要修復才能開啟，但它是唯讀的，無法寫入；請以有寫入權限的身分開啟一次"},
        {ErrorKind::NeedsRecoveryInUse, {.archive = "a.oru"},
         "a.oru: 上次加入檔案時中斷，這個壓縮檔需要修復，但另一個程式正在使用它"},
        {ErrorKind::Unrecoverable, {.archive = "a.oru", .path = "a.oru.add", .detail = "why"},
         "a.oru: 上次加入檔案時中斷，無法復原（why）；復原資料保留在 a.oru.add"},
        {ErrorKind::SideFileTaken, {.path = "a.oru.tmp"},
         "Cannot create file a.oru.tmp：這個名稱已被另一個檔案或連結佔用，請移走它再重整"},
        {ErrorKind::SourceTooLarge, {.path = "big"}, "big: 檔案達到 2 GB，無法加入壓縮檔"},
        {ErrorKind::ArchiveFull, {.path = "big"}, "big: 加入後壓縮檔會達到 2 GB 的上限，未加入"},
        {ErrorKind::NoName, {.path = "/"}, "/: 無法取得這個項目的名稱"},
        {ErrorKind::DamagedEntry, {.archive = "a.oru", .entry = "b.txt"}, "error: a.oru: b.txt: 壓縮資料已損壞"},
        {ErrorKind::SizeMismatch, {.archive = "a.oru", .entry = "b.txt", .count = 5, .total = 6},
         "error: a.oru: b.txt: 解壓縮後是 5 位元組，記錄的大小是 6"},
        {ErrorKind::StoredOutsideFile, {.archive = "a.oru", .entry = "b.txt"},
         "Stream read error: a.oru: b.txt: 儲存的資料位置超出檔案"},
        {ErrorKind::StoredOutsideData, {.archive = "a.oru", .entry = "b.txt", .count = 16, .total = 99},
         "a.oru: b.txt: 儲存的資料位置超出資料區（位置 16，99 位元組）"},
        {ErrorKind::StoredOutsideData, {.count = 16, .total = 99}, "儲存的資料位置超出資料區（位置 16，99 位元組）"},
        {ErrorKind::StoredShared, {.archive = "a.oru", .entry = "b.txt", .count = 16, .total = 99},
         "a.oru: b.txt: 儲存的資料與其他項目重疊（位置 16，99 位元組）"},
        {ErrorKind::IsAFolder, {.entry = "docs"}, "docs是一個目錄"},
        {ErrorKind::UnknownEntryType, {.entry = "x", .count = 7}, "x: 不明的項目類型（FileType 7），不是檔案"},
        {ErrorKind::UnknownEntryType, {.count = 7}, "不明的項目類型（FileType 7），不是檔案"},
        {ErrorKind::UnsafeName, {.entry = "..", .detail = ".."}, "壓縮檔中的名稱「..」不能當作檔名，無法解出"},
        {ErrorKind::TooDeep, {.archive = "a.oru", .count = 64}, "a.oru: 資料夾超過 64 層，無法處理"},
        {ErrorKind::TooManyPaths, {.archive = "a.oru", .count = 1000},
         "a.oru: 資料夾以名稱互相連結的路徑太多（超過 1000 步），無法處理"},
        {ErrorKind::EntriesFailed, {.items = {"x: e1"}}, "x: e1"},
        {ErrorKind::EntriesFailed, {.items = {"x: e1", "y: e2"}}, "2 個項目未能解出，其他項目已解出：\nx: e1\ny: e2"},
        {ErrorKind::NoArchiveOpen, {}, "沒有開啟的壓縮檔"},
        {ErrorKind::Cancelled, {}, "作業已取消"},
        {ErrorKind::ReadError, {.archive = "a.oru", .keptIn = "a.oru.new"},
         "Stream read error: a.oru: 完整的壓縮檔保留在 a.oru.new"},
        {ErrorKind::ReadError, {.archive = "a.oru", .keptIn = "a.oru.new", .keptMaybe = true},
         "Stream read error: a.oru；a.oru.new 可能保留了完整的壓縮檔"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textIn(Language::TraditionalChinese, c.kind, c.values), c.text);
    }
}

// English sentences name the object as the Chinese ones do; counts choose singular or plural.
TEST(ErrorTextTest, EnglishTextsAreSentencesNamingTheObject) {
    const struct {
        ErrorKind kind;
        ErrorValues values;
        std::string text;
    } cases[] = {
        {ErrorKind::NotFound, {.path = "missing.oru"}, "missing.oru: no such file"},
        {ErrorKind::BadFormat, {.archive = "notes.txt"}, "notes.txt: not an archive of this format"},
        {ErrorKind::IsAFolder, {.entry = "docs"}, "docs is a folder"},
        {ErrorKind::DamagedEntry, {.archive = "a.oru", .entry = "b.txt"},
         "error: a.oru: b.txt: the compressed data is damaged"},
        {ErrorKind::ItemsSkipped, {.count = 1}, "1 item could not be added"},
        {ErrorKind::ItemsSkipped, {.count = 4}, "4 items could not be added"},
        {ErrorKind::Cancelled, {}, "The operation was cancelled"},
        {ErrorKind::CannotOpen, {.path = "c.oru"}, "Cannot open file c.oru"},
        {ErrorKind::ReadError, {.archive = "a.oru", .keptIn = "a.oru.new"},
         "Stream read error: a.oru: the complete archive is kept in a.oru.new"},
    };
    for (const auto& c : cases) EXPECT_EQ(textIn(Language::English, c.kind, c.values), c.text);

    std::vector<std::string> many;
    for (int i = 0; i < 23; ++i) many.push_back("e" + std::to_string(i));
    const std::string en = textIn(Language::English, ErrorKind::EntriesFailed, {.items = many});
    EXPECT_EQ(en.substr(0, en.find('\n')), "23 entries could not be extracted; the others were extracted:");
    EXPECT_EQ(en.substr(en.rfind('\n') + 1), "... and 3 more");
    const std::string zh = textIn(Language::TraditionalChinese, ErrorKind::EntriesFailed, {.items = many});
    EXPECT_EQ(zh.substr(zh.rfind('\n') + 1), "……以及其他 3 個");
}

}  // namespace
}  // namespace oru
