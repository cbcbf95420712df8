// SPDX-License-Identifier: GPL-3.0-or-later
// Extraction gives back what the extension columns keep: true names, permission bits, exact
// modification times, symbolic links and empty folders; it reports once per kind what a file
// system refuses, and refuses rows whose values could reach outside the chosen folder or make a
// device, a pipe or a set-uid file. The archives are written row by row through the catalog, as a
// writer of the extension columns (or a hostile one) would write them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "ArchiveTestSupport.h"
#include "archive/EntryMeta.h"
#include "archive/ExtractTarget.h"

namespace oru::test {
namespace {

namespace stdfs = std::filesystem;

constexpr uint32_t kDir = 0040000, kReg = 0100000, kLnk = 0120000;
constexpr int64_t kSecond = 1000000000;
constexpr int64_t k1999 = 915148800 * kSecond + 123456789;   // 1999-01-01, and some nanoseconds
constexpr int64_t k2040 = 2208988800 * kSecond + 987654321;   // 2040-01-01, past 32-bit seconds
constexpr int64_t k2020 = 1577836800 * kSecond + 5;

// One row of a test archive: its catalog names, type, content (files) and extension values.
struct MetaRow {
    std::string fileName;  // CP950
    std::string parent;    // CP950
    int32_t type = 1;
    std::string content;
    EntryMeta meta;
};

// Collects what extraction tells its front end.
struct Collector : ConflictHandler {
    ConflictChoice choose(const std::string&) override { return ConflictChoice::KeepBoth; }
    void failed(const std::string& message) override { failures.push_back(message); }
    void notice(const std::string& message) override { notices.push_back(message); }
    std::vector<std::string> failures, notices;
};

struct stat lstatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int64_t mtimeNs(const struct stat& st) { return int64_t{st.st_mtim.tv_sec} * kSecond + st.st_mtim.tv_nsec; }

std::string linkOf(const std::string& path) {
    std::error_code ec;
    return stdfs::read_symlink(path, ec).string();
}

class RestoreTest : public ArchiveTest {
protected:
    void TearDown() override {
        kiv.reset();
        ExtractTarget::setRootForTesting(std::nullopt);
        ExtractTarget::setRefusalsForTesting({});
        ArchiveTest::TearDown();
    }

    // x.oru holding rows, with the extension columns; each file row's stored bytes are its own.
    void writeArchive(const std::vector<MetaRow>& rows) {
        kiv.reset();
        stdfs::remove(path("x.oru"));
        kiv = TKiv::CreateNew(path("x.oru"));
        CatalogTable& c = kiv->Catalog();
        entrymeta::addColumns(c);
        mkdir("src");
        int n = 0;
        for (const MetaRow& r : rows) {
            if (r.type == schema::kFile) {
                const std::string source = "s" + std::to_string(n++);
                writeText(path("src/" + source), r.content);
                kiv->AddPath("", path("src/" + source));
                moveTo(c, source);
                c.Edit();
            } else {
                c.Append();
                c.SetInteger(schema::kFileType, r.type);
                c.SetDateTime(schema::kCheckinDate, kNow);
            }
            c.SetText(schema::kFileName, r.fileName);
            c.SetText(schema::kParentName, r.parent);
            entrymeta::write(c, r.meta);
            c.Post();
        }
        kiv->SaveCatalog();
        kiv.reset();
        kiv = TKiv::OpenExisting(path("x.oru"));
        // Rows in the order written: a link before the rows stored below its name.
        kiv->Catalog().SetOrdering("");
    }

    // Extracts every top-level row into out, the handler collecting what is told; returns the
    // error that ended the extraction ("" for none).
    std::string extractAll(Collector& handler) {
        CatalogTable& c = kiv->Catalog();
        c.SetFilterText(CatalogTable::parentFilter(""));
        c.SetFiltered(true);
        std::vector<Bookmark> rows;
        for (c.First(); !c.AtEnd(); c.Next()) rows.push_back(*c.GetBookmark());
        kiv->SetConflictHandler(&handler);
        std::string error;
        try {
            kiv->ExtractEntries(c, rows, path("out"));
        } catch (const Error& e) {
            error = e.what();
        }
        kiv->SetConflictHandler(nullptr);
        c.SetFiltered(false);
        return error;
    }

    std::unique_ptr<TKiv> kiv;
};

// Names, permission bits (set-uid too: the suite runs as root, as tar's --same-permissions),
// nanosecond times of files, folders and links, links relative, absolute and dangling, and an
// empty folder all come back; a folder's time survives the files written into it.
TEST_F(RestoreTest, ModesTimesLinksAndEmptyFoldersComeBack) {
    ExtractTarget::setRootForTesting(true);
    writeArchive({
        {"___", "", 0, "", {.trueName = "한국어", .mode = kDir | 0750, .modifiedNs = k1999}},
        {"run.sh", "___", 1, "#!/bin/sh\n", {.mode = kReg | 04755, .modifiedNs = k2040}},
        {"secret", "___", 1, "s", {.mode = kReg | 0600, .modifiedNs = k2020}},
        {"_.txt", "___", 1, "e", {.trueName = "😀.txt", .modifiedNs = k1999}},
        {"notes", "", 1, "n", {.trueName = "notes ", .mode = kReg | 0644}},
        {"bad", "", 1, "x", {.trueName = "bad", .nameBytes = std::string("b\xff\xfe", 3), .mode = kReg | 0640}},
        {"rel", "", 1, "한국어/run.sh", {.mode = kLnk | 0777, .linkTarget = "한국어/run.sh", .modifiedNs = k1999}},
        {"abs", "", 1, "/etc/hostname", {.mode = kLnk | 0777, .linkTarget = "/etc/hostname"}},
        {"gone", "", 1, "nowhere", {.mode = kLnk | 0777, .linkTarget = "nowhere", .modifiedNs = k2040}},
        {"empty", "", 0, "", {.mode = kDir | 0700, .modifiedNs = k2040}},
        {"plain.txt", "", 1, "p", {}},
    });
    Collector handler;
    EXPECT_EQ(extractAll(handler), "");
    EXPECT_TRUE(handler.failures.empty());
    EXPECT_TRUE(handler.notices.empty());

    const struct {
        std::string path;
        uint32_t type;
        uint32_t permissions;  // not checked for links
        std::optional<int64_t> modified;
        std::string link;
    } expected[] = {
        {"한국어", kDir, 0750, k1999, ""},
        {"한국어/run.sh", kReg, 04755, k2040, ""},
        {"한국어/secret", kReg, 0600, k2020, ""},
        {"한국어/😀.txt", kReg, 0, k1999, ""},
        {"notes ", kReg, 0644, std::nullopt, ""},
        {std::string("b\xff\xfe", 3), kReg, 0640, std::nullopt, ""},
        {"rel", kLnk, 0, k1999, "한국어/run.sh"},
        {"abs", kLnk, 0, std::nullopt, "/etc/hostname"},
        {"gone", kLnk, 0, k2040, "nowhere"},
        {"empty", kDir, 0700, k2040, ""},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        const struct stat st = lstatOf(path("out/" + e.path));
        EXPECT_EQ(st.st_mode & S_IFMT, e.type);
        if (e.type != kLnk && e.permissions != 0) EXPECT_EQ(st.st_mode & 07777, e.permissions);
        if (e.modified) EXPECT_EQ(mtimeNs(st), *e.modified);
        EXPECT_EQ(linkOf(path("out/" + e.path)), e.link);
    }
    EXPECT_EQ(stdfs::directory_iterator(path("out/empty")), stdfs::directory_iterator());
    // The catalog names are no file's name.
    EXPECT_FALSE(stdfs::exists(path("out/___")));
    EXPECT_FALSE(stdfs::exists(path("out/bad")));
}

TEST(PermissionsTest, StoredBitsLessUmaskAndSpecialBitsUnlessRoot) {
    const struct {
        uint32_t mode, umask;
        bool root;
        uint32_t expected;
    } cases[] = {
        {0100755, 022, false, 0755},  {0100755, 077, false, 0700}, {0104755, 022, false, 0755},
        {0102775, 002, false, 0775},  {0041777, 022, false, 0755}, {0100600, 0, false, 0600},
        {0104755, 022, true, 04755},  {0041777, 077, true, 01777}, {0100644, 0777, true, 0644},
        {0100000, 022, false, 0},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(ExtractTarget::permissionsFor(k.mode, k.umask, k.root), k.expected)
            << std::oct << k.mode << " umask " << k.umask << " root " << k.root;
    }
}

// A file system that keeps no modes, times or links (vfat, exFAT): every entry still comes out,
// links as files holding their target, and each refusal is told once with a count.
TEST_F(RestoreTest, RefusalsOfTheFileSystemAreToldOncePerKind) {
    writeArchive({
        {"d", "", 0, "", {.mode = kDir | 0755, .modifiedNs = k1999}},
        {"a", "d", 1, "a", {.mode = kReg | 0644, .modifiedNs = k1999}},
        {"b", "d", 1, "b", {.mode = kReg | 0755, .modifiedNs = k2040}},
        {"l1", "", 1, "d/a", {.mode = kLnk | 0777, .linkTarget = "d/a", .modifiedNs = k2020}},
        {"l2", "", 1, "d/b", {.mode = kLnk | 0777, .linkTarget = "d/b"}},
    });
    ExtractTarget::setRefusalsForTesting({.modes = true, .times = true, .links = true});
    Collector handler;
    EXPECT_EQ(extractAll(handler), "");
    EXPECT_TRUE(handler.failures.empty());
    for (const char* file : {"d/a", "d/b", "l1", "l2"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(lstatOf(path(std::string("out/") + file)).st_mode & S_IFMT, kReg);
    }
    EXPECT_EQ(readAll(path("out/l1")), Bytes({'d', '/', 'a'}));
    ASSERT_EQ(handler.notices.size(), 3u);
    const std::string english[] = {
        errorText(ErrorKind::ModesNotKept, {.path = path("out/d/a"), .count = 3}),
        errorText(ErrorKind::TimesNotKept, {.path = path("out/d/a"), .count = 4}),
        errorText(ErrorKind::LinksNotKept, {.path = path("out/l1"), .count = 2}),
    };
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(handler.notices[i], english[i]);
}

// Extension values a hostile writer chose: names that leave the folder or no file system keeps,
// devices and pipes, unusable link targets, set-uid bits for a user, and rows stored "below" a
// link the archive makes. (A zero byte cannot reach a name or a target: a catalog text cannot
// hold one.) Each refused row is reported by its name, the others come out, and
// nothing outside the folder is touched or made.
TEST_F(RestoreTest, HostileExtensionValuesAreRefusedRowByRow) {
    ExtractTarget::setRootForTesting(false);
    mkdir("outside");
    writeText(path("outside/keep"), "keep");
    const std::string outside = path("outside");
    const std::string tooLong(256, 'n');
    writeArchive({
        {"up", "", 1, "x", {.trueName = "../escape"}},
        {"slash", "", 1, "x", {.trueName = "a/b"}},
        {"bytes", "", 1, "x", {.trueName = "fine", .nameBytes = "../../outside/keep"}},
        {"long", "", 1, "x", {.trueName = tooLong}},
        {"dot", "", 0, "", {.trueName = ".."}},
        {"x", "dot", 1, "x", {}},
        {"dev", "", 1, "x", {.mode = 0020666}},
        {"fifo", "", 1, "x", {.mode = 0010644}},
        {"sock", "", 1, "x", {.mode = 0140644}},
        {"suid", "", 1, "x", {.mode = kReg | 06755}},
        {"emptylink", "", 1, "", {.mode = kLnk | 0777, .linkTarget = ""}},
        {"esc", "", 1, outside, {.mode = kLnk | 0777, .linkTarget = outside}},
        {"esc2", "", 0, "", {.trueName = "esc"}},
        {"planted", "esc2", 1, "evil", {}},
        {"esc3", "", 1, "evil", {.trueName = "esc"}},
    });
    Collector handler;
    const std::string error = extractAll(handler);
    EXPECT_NE(error, "");
    const struct {
        std::string shown;   // the entry's name in its report
        ErrorKind kind;
        ErrorValues values;
    } refused[] = {
        {"../escape", ErrorKind::UnsafeName, {.detail = "../escape"}},
        {"a/b", ErrorKind::UnsafeName, {.detail = "a/b"}},
        {"fine", ErrorKind::UnsafeName, {.detail = "../../outside/keep"}},
        {tooLong, ErrorKind::UnsafeName, {.detail = std::string(255, 'n') + "..."}},
        {"..", ErrorKind::UnsafeName, {.detail = ".."}},
        {"dev", ErrorKind::SpecialFile, {.detail = "20666"}},
        {"fifo", ErrorKind::SpecialFile, {.detail = "10644"}},
        {"sock", ErrorKind::SpecialFile, {.detail = "140644"}},
        {"emptylink", ErrorKind::UnsafeLinkTarget, {}},
        {"esc", ErrorKind::LinkInTheWay, {.path = path("out/esc")}},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.shown);
        const std::string line = path("x.oru") + ": " + r.shown + ": " + errorText(r.kind, r.values);
        EXPECT_EQ(std::count(handler.failures.begin(), handler.failures.end(), line), 1);
    }
    EXPECT_EQ(handler.failures.size(), std::size(refused));
    // Nothing left the folder, nothing went through the link, no special file or set-uid bit.
    EXPECT_EQ(treeOf(outside), (std::map<std::string, std::string>{{"keep", "keep"}}));
    EXPECT_FALSE(stdfs::exists(path("escape")));
    EXPECT_EQ(linkOf(path("out/esc")), outside);
    EXPECT_EQ(readAll(path("out/esc~1")), Bytes({'e', 'v', 'i', 'l'}));
    EXPECT_EQ(lstatOf(path("out/suid")).st_mode & 07777, ExtractTarget::permissionsFor(06755));
    for (const auto& entry : stdfs::recursive_directory_iterator(path("out"))) {
        const struct stat st = lstatOf(entry.path().string());
        EXPECT_TRUE(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) << entry.path();
        EXPECT_EQ(st.st_mode & 07000, 0u) << entry.path();
    }
}

}  // namespace
}  // namespace oru::test
