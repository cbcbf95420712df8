// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <optional>
#include <vector>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "tests/platform/InLanguage.h"
#include "ErrorOf.h"

namespace oru {
namespace {

// A fresh folder below base, removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& base = testing::TempDir()) : path_(base + "oru_platform_XXXXXX") {
        if (::mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    bool made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

std::string because(int errnum) { return std::string(": ") + std::strerror(errnum); }

TEST(DisplayTextTest, AppendsFullStopOnlyAfterBytesAboveDot) {
    struct Case {
        std::string message, shown;
    } cases[] = {
        {"", ""},
        {"Stream read error", "Stream read error."},
        {"ends with a dot.", "ends with a dot."},
        {"ends with a comma,", "ends with a comma,"},  // ',' sorts before '.'
        {"a.oru找不到這個檔案", "a.oru找不到這個檔案."},  // last UTF-8 byte is above 0x80
        {"path/", "path/."},
    };
    for (const auto& c : cases) EXPECT_EQ(displayText(c.message), c.shown) << c.message;
}

// Texts of the file layer: the fixed text first, then the file (or the archive and the entry a
// stream error met while reading it) and the system's reason. In English: some of these texts
// have a Chinese part in Traditional Chinese.
TEST(ErrorTextTest, FileErrorsNameTheFileOrTheArchiveAndEntry) {
    InLanguage english(language::Language::English);
    const struct {
        Error error;
        std::string text;
    } cases[] = {
        {Error(ErrorKind::ReadError, {.path = "x.oru"}).naming("x.oru", "a.txt"), "Stream read error: x.oru: a.txt"},
        {Error(ErrorKind::ReadError, {}).naming("x.oru", "a.txt"), "Stream read error: x.oru: a.txt"},
        {Error(ErrorKind::ReadError, {}), "Stream read error"},
        {Error(ErrorKind::WriteError, {.path = "out/a.txt", .errnum = EIO}).naming("x.oru", "a.txt"),
         "Stream write error: out/a.txt" + because(EIO)},
        {Error(ErrorKind::DiskFull, {.path = "out/a.txt", .errnum = ENOSPC}).naming("x.oru", "a.txt"),
         "Stream write error: the disk holding out/a.txt is full"},
        {Error(ErrorKind::DiskFull, {}).naming("x.oru"), "Stream write error: the disk holding x.oru is full"},
        {Error(ErrorKind::InUse, {.path = "c.oru"}), "Cannot open file c.oru: another program is using it"},
        {Error(ErrorKind::CannotOpen, {.path = "c.oru"}), "Cannot open file c.oru"},
        {Error(ErrorKind::CannotCreateFolder, {}), "Unable to create directory"},
        {Error(ErrorKind::CannotCreateFolder, {.path = "out"}), "Unable to create directory: out"},
        {Error(ErrorKind::MissingSupport, {.detail = "locale collation"}), "The locale collation is not available"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.what(), c.text);
}

// The lock rules of FileStream: every open but Shared is exclusive, Shared ones go together.
TEST(FileStreamTest, SecondOpenOfALockedFileIsRefusedAsInUse) {
    InLanguage english(language::Language::English);
    TempDir tmp;
    const std::string path = tmp.path() + "/locked.bin";
    FileStream first(path, FileStream::Mode::Create);
    first.write("abc", 3);
    const std::string inUse = "Cannot open file " + path + ": another program is using it";
    for (FileStream::Mode mode : {FileStream::Mode::ReadWrite, FileStream::Mode::Read, FileStream::Mode::Shared,
                                  FileStream::Mode::Truncate, FileStream::Mode::Create}) {
        const Error e = errorOf([&] { FileStream(path, mode); });
        EXPECT_EQ(e.kind(), ErrorKind::InUse) << static_cast<int>(mode);
        EXPECT_EQ(e.values().path, path);
        EXPECT_EQ(e.what(), inUse);
    }
    // A refused create or truncate must not empty the file held by the first open.
    EXPECT_EQ(first.size(), 3);
}

TEST(FileStreamTest, SharedOpensGoTogetherButNotWithAnExclusiveOne) {
    TempDir tmp;
    const std::string path = tmp.path() + "/shared.bin";
    { FileStream(path, FileStream::Mode::Create).write("abc", 3); }
    FileStream one(path, FileStream::Mode::Shared);
    FileStream two(path, FileStream::Mode::Shared);
    EXPECT_EQ(errorOf([&] { FileStream(path, FileStream::Mode::ReadWrite); }).kind(), ErrorKind::InUse);
    EXPECT_FALSE(one.relock(true));  // two holds a shared lock
    EXPECT_EQ(one.size(), 3);
}

// The file an open is refused for is named, with the system's reason.
TEST(FileStreamTest, OpenFailuresNameThePathAndTheCause) {
    TempDir tmp;
    const std::string dir = tmp.path();
    struct Case {
        std::string path;
        FileStream::Mode mode;
        ErrorKind kind;
        int errnum;
        std::string message;
    } cases[] = {
        {dir + "/missing", FileStream::Mode::ReadWrite, ErrorKind::CannotOpen, ENOENT, "Cannot open file "},
        {dir + "/no/such/dir/x", FileStream::Mode::Create, ErrorKind::CannotCreate, ENOENT, "Cannot create file "},
        {dir, FileStream::Mode::Read, ErrorKind::CannotOpen, EISDIR, "Cannot open file "},
    };
    for (const Case& c : cases) {
        const Error e = errorOf([&] { FileStream(c.path, c.mode); });
        EXPECT_EQ(e.kind(), c.kind) << c.path;
        EXPECT_EQ(e.values().errnum, c.errnum) << c.path;
        EXPECT_EQ(e.what(), c.message + c.path + because(c.errnum));
    }
}

// A write to a full disk says so and names the file (/dev/full answers every write with ENOSPC).
TEST(FileStreamTest, AFullDiskIsSaidAsSuchNamingTheFile) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not writable here";
    InLanguage english(language::Language::English);
    FileStream full("/dev/full", FileStream::Mode::ReadWrite);
    const Error e = errorOf([&] { full.write("x", 1); });
    EXPECT_EQ(e.kind(), ErrorKind::DiskFull);
    EXPECT_EQ(e.values().errnum, ENOSPC);
    EXPECT_STREQ(e.what(), "Stream write error: the disk holding /dev/full is full");
}

TEST(FileStreamTest, ReadWriteSeekSetSizeAndCopy) {
    TempDir tmp;
    const std::string dir = tmp.path();
    FileStream f(dir + "/data", FileStream::Mode::Create);
    f.write("hello world", 11);
    EXPECT_EQ(f.position(), 11);
    f.seek(6);
    char buf[5];
    f.readExact(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(f.read(buf, 5), 0u);  // at the end
    const Error atEnd = errorOf([&] { f.readExact(buf, 1); });
    EXPECT_EQ(atEnd.kind(), ErrorKind::ReadError);
    EXPECT_STREQ(atEnd.what(), ("Stream read error: " + dir + "/data").c_str());
    f.setSize(5);
    EXPECT_EQ(f.size(), 5);
    EXPECT_EQ(f.position(), 5);

    MemoryStream m;
    f.seek(1);
    m.copyFrom(f, 4);
    EXPECT_EQ(std::string(m.bytes().begin(), m.bytes().end()), "ello");
    f.seek(2);
    EXPECT_EQ(messageOf([&] { m.copyFrom(f, 10); }), "Stream read error: " + dir + "/data");
}

// Between two files the kernel copies; where it cannot (another file system), the copy goes
// through memory. Either way the bytes, the positions and the failures are the same.
TEST(FileStreamTest, CopyBetweenFilesInTheKernelOrThroughMemory) {
    TempDir tmp;
    const std::string dir = tmp.path();
    std::vector<std::string> targetDirs{dir};
    struct stat shm {};
    std::optional<TempDir> other;
    if (::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode)) {
        other.emplace("/dev/shm/");
        if (other->made()) targetDirs.push_back(other->path());
    }
    std::string content;
    for (uint64_t i = 0; content.size() < (3u << 20) + 5; ++i) content += std::to_string(i * 7919) + ",";
    {
        FileStream source(dir + "/source", FileStream::Mode::Create);
        source.write(content.data(), content.size());
    }
    for (const auto& target : targetDirs) {
        SCOPED_TRACE(target);
        FileStream source(dir + "/source", FileStream::Mode::Read);
        FileStream copy(target + "/copy", FileStream::Mode::Create);
        copy.write("abc", 3);
        copy.seek(2);
        source.seek(1000);
        copy.copyFrom(source, 2 << 20);
        EXPECT_EQ(source.position(), 1000 + (2 << 20));
        EXPECT_EQ(copy.position(), 2 + (2 << 20));
        copy.copyFrom(source, 0);
        EXPECT_EQ(copy.position(), 2 + (2 << 20));
        // Past the source's end: the bytes there are copied, then the read fails.
        EXPECT_EQ(messageOf([&] { copy.copyFrom(source, 2 << 20); }), "Stream read error: " + dir + "/source");

        std::ifstream in(target + "/copy", std::ios::binary);
        const std::string got((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GE(got.size(), 2u + (2 << 20));
        EXPECT_EQ(got.substr(0, 2), "ab");
        EXPECT_TRUE(got.substr(2, 2 << 20) == content.substr(1000, 2 << 20));
    }
}

TEST(MemoryStreamTest, WritesBeyondTheEndGrowAndSetSizeClampsThePosition) {
    MemoryStream m;
    m.seek(4);
    m.write("x", 1);
    ASSERT_EQ(m.size(), 5);
    EXPECT_EQ(m.bytes()[0], 0);
    EXPECT_EQ(m.bytes()[4], 'x');
    m.setSize(2);
    EXPECT_EQ(m.position(), 2);
    char c;
    EXPECT_EQ(m.read(&c, 1), 0u);
}

TEST(CodePageTest, RoundTripsBig5AndRefusesWhatCp950Lacks) {
    const std::string utf8 = "中文檔案.txt";
    std::string big5 = cp950::fromUtf8(utf8);
    // 中 is A4 A4 in Big5.
    ASSERT_GE(big5.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(big5[0]), 0xA4);
    EXPECT_EQ(static_cast<unsigned char>(big5[1]), 0xA4);
    EXPECT_EQ(big5.size(), 4 * 2 + 4u);
    EXPECT_EQ(cp950::toUtf8(big5), utf8);
    EXPECT_EQ(cp950::fromUtf8("plain.txt"), "plain.txt");

    const Error noBig5 = errorOf([] { cp950::fromUtf8("smile\xF0\x9F\x98\x80.txt"); });
    EXPECT_EQ(noBig5.kind(), ErrorKind::NoBig5Form);
    EXPECT_STREQ(noBig5.what(), "smile\xF0\x9F\x98\x80.txt: 名稱含有無法以 Big5 表示的字元");
    EXPECT_EQ(errorOf([] { cp950::fromUtf8("bad\xFF.txt"); }).kind(), ErrorKind::NoBig5Form);
    // A lone lead byte (a name cut inside a character) still converts, without failing.
    EXPECT_FALSE(cp950::toUtf8(std::string("ab\xA4", 3)).empty());
    EXPECT_TRUE(cp950::isLeadByte(0xA4));
    EXPECT_FALSE(cp950::isLeadByte('a'));
}

TEST(CollationTest, OrdersLinguisticallyAndCaseSensitively) {
    collation::resetLocale("en_US");
    std::vector<std::string> names = {"b", "B", "a", "A", "ab", cp950::fromUtf8("中"), "1"};
    std::sort(names.begin(), names.end(),
              [](const std::string& x, const std::string& y) { return collation::sortKey(x) < collation::sortKey(y); });
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[0], "1");
    EXPECT_EQ(names[1], "a");
    EXPECT_EQ(names[2], "A");
    EXPECT_EQ(names[3], "ab");
    EXPECT_EQ(names[4], "b");
    EXPECT_EQ(names[5], "B");
    EXPECT_EQ(names[6], cp950::fromUtf8("中"));
    EXPECT_NE(collation::sortKey("a"), collation::sortKey("A"));
    EXPECT_EQ(collation::compare("a", "A"), -1);
    EXPECT_EQ(collation::compare("abc", "abc"), 0);
    EXPECT_EQ(collation::compare("b", "a"), 1);
    collation::resetLocale(nullptr);
}

// A catalog may hold any double as a date: those no calendar shows print as "?".
TEST(ClockTest, DatesOutOfRangePrintAsQuestionMarks) {
    const double cases[] = {std::nan(""), INFINITY, -INFINITY, 1e300, -1e300, 2958466.0, -693594.0};
    for (double d : cases) EXPECT_EQ(clock::formatIso(d), "?") << d;
    EXPECT_EQ(clock::formatIso(-693593.0), "0001-01-01 00:00:00");
    EXPECT_EQ(clock::formatIso(2958465.5), "9999-12-31 12:00:00");
}

TEST(ClockTest, ConvertsCalendarDatesToDaysSince18991230) {
    EXPECT_DOUBLE_EQ(clock::fromLocal(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(clock::fromLocal(2005, 3, 1, 12, 0, 0), 38412.5);
    EXPECT_EQ(clock::formatIso(38412.5), "2005-03-01 12:00:00");
    auto t = clock::toLocal(clock::fromLocal(2026, 12, 10, 23, 59, 59, 999));
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.second, 59);
    EXPECT_EQ(t.millisecond, 999);
    clock::setNowForTesting([] { return 12345.25; });
    EXPECT_EQ(clock::now(), 12345.25);
    clock::setNowForTesting(nullptr);
    EXPECT_GT(clock::now(), 40000.0);
}

TEST(FileSystemTest, PathsAndDirectories) {
    TempDir tmp;
    const std::string dir = tmp.path();
    EXPECT_TRUE(fs::forceDirectories(dir + "/a/b/c"));
    EXPECT_TRUE(fs::isDirectory(dir + "/a/b/c"));
    EXPECT_FALSE(fs::fileExists(dir + "/a"));
    EXPECT_FALSE(fs::forceDirectories(""));
    { std::ofstream(dir + "/a/.hidden") << "x"; }
    auto names = fs::listDirectory(dir + "/a");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "b"}));
    EXPECT_TRUE(fs::fileExists(dir + "/a/.hidden"));
    EXPECT_TRUE(fs::deleteFile(dir + "/a/.hidden"));
    EXPECT_EQ(fs::lastComponent("/x/y/z.txt"), "z.txt");
    EXPECT_EQ(fs::lastComponent("z.txt"), "z.txt");
    EXPECT_EQ(fs::lastComponent("/x/"), "");
    EXPECT_EQ(fs::join("/x/", "y"), "/x/y");
    EXPECT_EQ(fs::join("/x", "y"), "/x/y");
}

}  // namespace
}  // namespace oru
