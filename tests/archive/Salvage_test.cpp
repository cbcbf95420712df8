// SPDX-License-Identifier: GPL-3.0-or-later
// Salvage of damaged archives: what comes back, under which name, what is reported lost, and
// that the damaged archive is never changed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "archive/AddJournal.h"
#include "archive/SalvageJob.h"
#include "archive/TestJob.h"
#include "catalog/Datapacket.h"
#include "tests/archive/ArchiveTestSupport.h"

namespace oru::test {
namespace {

// Path ("parent/name", UTF-8) -> content of every file row of an archive.
std::map<std::string, std::string> filesOf(TKiv& kiv) {
    CatalogTable all;
    all.CloneFrom(kiv.Catalog());
    all.SetFiltered(false);
    std::map<std::string, std::string> files;
    for (all.First(); !all.AtEnd(); all.Next()) {
        if (all.GetInteger(schema::kFileType) != schema::kFile) continue;
        std::string name = cp950::toUtf8(all.GetText(schema::kFileName));
        if (const std::string parent = all.GetText(schema::kParentName); !parent.empty()) {
            name = cp950::toUtf8(parent) + "/" + name;
        }
        MemoryStream content;
        kiv.ReadEntry(all, content);
        EXPECT_EQ(files.count(name), 0u) << name;
        files[name] = std::string(content.bytes().begin(), content.bytes().end());
    }
    return files;
}

std::multiset<std::string> contentsOf(const std::map<std::string, std::string>& files) {
    std::multiset<std::string> all;
    for (const auto& [name, content] : files) all.insert(content);
    return all;
}

std::set<std::string> lostNames(const SalvageReport& report) {
    std::set<std::string> names;
    for (const LostRow& row : report.lost) names.insert(row.path);
    return names;
}

int32_t catalogOffsetOf(const Bytes& archive) { return static_cast<int32_t>(le32(archive, 4)); }

class SalvageTest : public ArchiveTest {
protected:
    // A tree of files of several kinds, one of them bigger than a scan piece, added to one archive.
    void SetUp() override {
        ArchiveTest::SetUp();
        mkdir("src/docs");
        mkdir("src/bin");
        std::string text;
        for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of a text file\n";
        writeText(path("src/top.txt"), text);
        writeText(path("src/docs/note.txt"), "a short note\n");
        writeText(path("src/empty.txt"), "");
        Bytes png = hexBytes("89 50 4E 47 0D 0A 1A 0A");
        const Bytes body = randomBytes(3000, 7);
        png.insert(png.end(), body.begin(), body.end());
        writeAll(path("src/docs/picture.png"), png);
        writeAll(path("src/bin/random.bin"), randomBytes(5 << 20, 11));
        archive = path("a.oru");
        auto kiv = TKiv::CreateNew(archive);
        kiv->AddPath("", path("src"));
        original = filesOf(*kiv);
        kiv.reset();
        bytes = readAll(archive);
    }

    // The stored range of the row named name.
    std::pair<int64_t, int64_t> rangeOf(const std::string& name) {
        auto kiv = TKiv::OpenExisting(archive, TKiv::Access::Shared);
        for (const Row& r : rowsOf(kiv->Catalog())) {
            if (r.name == name) return {r.offset, r.storedSize};
        }
        ADD_FAILURE() << "no row " << name;
        return {0, 0};
    }

    // Salvages damaged (written as the archive) into a new archive; checks that the damaged
    // archive is left as it was, that the new one tests clean, and that everything in it is
    // content of the original. Returns the new archive's files.
    std::map<std::string, std::string> salvage(const Bytes& damaged, SalvageReport& report, const std::string& when) {
        writeAll(archive, damaged);
        const std::string saved = path("saved.oru");
        std::filesystem::remove(saved);
        report = SalvageJob(archive, saved).Run();
        EXPECT_EQ(readAll(archive), damaged) << when << ": the damaged archive was changed";
        auto kiv = TKiv::OpenExisting(saved, TKiv::Access::Shared);
        const TestSummary test = TestJob(*kiv, nullptr).Run();
        EXPECT_EQ(test.damaged, 0) << when;
        std::map<std::string, std::string> files = filesOf(*kiv);
        const std::multiset<std::string> known = contentsOf(original);
        for (const auto& [name, content] : files) {
            EXPECT_TRUE(known.count(content)) << when << ": " << name << " holds bytes the original never had";
        }
        EXPECT_EQ(report.files.size(), files.size()) << when;
        return files;
    }

    std::string archive;
    std::map<std::string, std::string> original;
    Bytes bytes;
};

TEST_F(SalvageTest, ASoundArchiveComesBackWholeUnderItsOwnNames) {
    SalvageReport report;
    EXPECT_EQ(salvage(bytes, report, "sound"), original);
    EXPECT_TRUE(report.complete());
    EXPECT_FALSE(report.catalogDamage);
    EXPECT_EQ(report.folders, 3);
    EXPECT_EQ(report.unaccounted, 0);
}

// The catalog cut, overwritten or pointed away from: every stored file comes back, byte for
// byte, under a made-up name below recovered/, with an extension from its content.
TEST_F(SalvageTest, EveryStoredFileComesBackWhenTheCatalogIsLost) {
    const int32_t at = catalogOffsetOf(bytes);
    const auto cut = [&](int64_t n) { return Bytes(bytes.begin(), bytes.begin() + n); };
    const auto overwritten = [&](bool zeros) {
        Bytes b = bytes;
        const Bytes noise = randomBytes(b.size() - at, 3);
        for (size_t i = at; i < b.size(); ++i) b[i] = zeros ? 0 : noise[i - at];
        return b;
    };
    const auto withOffset = [&](uint32_t offset) {
        Bytes b = bytes;
        putLe32(b, 4, offset);
        return b;
    };
    const struct {
        const char* what;
        Bytes damaged;
    } cases[] = {
        {"cut at the catalog offset", cut(at)},
        {"cut one byte into the catalog", cut(at + 1)},
        {"cut in the packet header", cut(at + 12)},
        {"cut in the column descriptors", cut(at + 100)},
        {"cut in the rows", cut(static_cast<int64_t>(bytes.size()) - 40)},
        {"cut one byte before the end", cut(static_cast<int64_t>(bytes.size()) - 1)},
        {"catalog zeroed", overwritten(true)},
        {"catalog overwritten with random bytes", overwritten(false)},
        {"catalog offset beyond the file", withOffset(0x7fffff00)},
        {"catalog offset inside the header", withOffset(3)},
    };
    for (const auto& c : cases) {
        SalvageReport report;
        const auto files = salvage(c.damaged, report, c.what);
        EXPECT_EQ(contentsOf(files), contentsOf(original)) << c.what;
        EXPECT_TRUE(report.catalogDamage) << c.what;
        EXPECT_FALSE(report.complete()) << c.what;
        std::set<std::string> extensions;
        for (const auto& [name, content] : files) {
            EXPECT_EQ(name.rfind("recovered/", 0), 0u) << c.what << ": " << name;
            extensions.insert(name.substr(name.rfind('.') + 1));
        }
        EXPECT_EQ(extensions, (std::set<std::string>{"bin", "png", "txt"})) << c.what;
    }
}

// A damaged magic alone leaves the catalog where the header says: every row comes back by name.
// A header zeroed whole leaves only the scan.
TEST_F(SalvageTest, ADamagedHeaderStillGivesTheStoredFiles) {
    Bytes magic = bytes;
    std::fill(magic.begin(), magic.begin() + 4, 0);
    SalvageReport report;
    EXPECT_EQ(salvage(magic, report, "magic zeroed"), original);
    EXPECT_TRUE(report.headerDamage);
    EXPECT_TRUE(report.complete());

    Bytes zeroed = bytes;
    std::fill(zeroed.begin(), zeroed.begin() + 16, 0);
    const auto files = salvage(zeroed, report, "header zeroed");
    EXPECT_EQ(contentsOf(files), contentsOf(original));
    EXPECT_TRUE(report.catalogDamage);
    EXPECT_FALSE(report.complete());
}

// One stream damaged in its middle: that row alone is lost, named with its reason; every other
// row comes back under its own path, and nothing of the damaged file is stored.
TEST_F(SalvageTest, ADamagedStreamLosesOnlyItsOwnRow) {
    const auto [offset, stored] = rangeOf("random.bin");
    const auto [noteOffset, noteStored] = rangeOf("note.txt");
    const struct {
        const char* what;
        int64_t at;
        const char* lost;
    } cases[] = {
        {"big stream, middle byte", offset + stored / 2, "bin/random.bin"},
        {"big stream, Adler-32", offset + stored - 1, "bin/random.bin"},
        {"small stream, header", noteOffset, "docs/note.txt"},
        {"small stream, deflate data", noteOffset + 3, "docs/note.txt"},
    };
    for (const auto& c : cases) {
        Bytes damaged = bytes;
        damaged[static_cast<size_t>(c.at)] ^= 0x55;
        SalvageReport report;
        const auto files = salvage(damaged, report, c.what);
        auto expected = original;
        expected.erase(c.lost);
        // Streams found inside the damaged one (none expected, but possible in principle) are
        // checked against the original contents by salvage().
        for (const auto& [name, content] : expected) EXPECT_EQ(files.at(name), content) << c.what << ": " << name;
        EXPECT_EQ(files.count(c.lost), 0u) << c.what;
        EXPECT_EQ(lostNames(report), std::set<std::string>{c.lost}) << c.what;
        EXPECT_FALSE(report.complete()) << c.what;
    }
}

// Rows that lie about their stored bytes: each is lost with the reason, and the file's own
// stream, which no sound row accounts for any more, comes back below recovered/.
TEST_F(SalvageTest, RowsThatDoNotMatchTheirStreamsAreLostWithTheirReason) {
    auto catalogWith = [&](const std::function<void(TableData&, const std::vector<Column>&)>& change) {
        const int32_t at = catalogOffsetOf(bytes);
        TableData data = datapacket::read(bytes.data() + at, bytes.size() - at);
        change(data, data.columns);
        const Bytes packet = datapacket::write(data);
        Bytes b(bytes.begin(), bytes.begin() + at);
        b.insert(b.end(), packet.begin(), packet.end());
        return b;
    };
    const auto column = [](const std::vector<Column>& cols, const char* name) {
        for (size_t i = 0; i < cols.size(); ++i) {
            if (cols[i].name == name) return i;
        }
        return size_t{0};
    };
    const auto rowNamed = [](TableData& data, const std::vector<Column>&, const std::string& name) -> FieldRow& {
        for (Slot& s : data.slots) {
            if (s.fields[0].raw == name) return s.fields;
        }
        ADD_FAILURE() << name;
        return data.slots[0].fields;
    };
    const auto setInt = [](Field& f, int64_t v) { f.raw.assign(std::string_view(reinterpret_cast<const char*>(&v), 8)); };
    const struct {
        const char* what;
        std::function<void(TableData&, const std::vector<Column>&)> change;
        const char* lost;
        ErrorKind reason;
    } cases[] = {
        {"recorded size larger than the content",
         [&](TableData& d, const std::vector<Column>& c) {
             setInt(rowNamed(d, c, "top.txt")[column(c, "OriginalSize")], 999999);
         },
         "src/top.txt", ErrorKind::SizeMismatch},
        {"recorded size smaller than the content",
         [&](TableData& d, const std::vector<Column>& c) { setInt(rowNamed(d, c, "top.txt")[column(c, "OriginalSize")], 10); },
         "src/top.txt", ErrorKind::LongerThanRecorded},
        {"stored bytes beyond the data area",
         [&](TableData& d, const std::vector<Column>& c) {
             setInt(rowNamed(d, c, "note.txt")[column(c, "Offset")], 0x7000000);
         },
         "docs/note.txt", ErrorKind::StoredOutsideData},
        {"offset and stored size whose sum overflows 64 bits",
         [&](TableData& d, const std::vector<Column>& c) {
             FieldRow& note = rowNamed(d, c, "note.txt");
             setInt(note[column(c, "Offset")], 3746994889972252696);
             setInt(note[column(c, "StoredSize")], 5767422444600164354);
         },
         "docs/note.txt", ErrorKind::StoredOutsideData},
        {"two rows on one stream",
         [&](TableData& d, const std::vector<Column>& c) {
             FieldRow& note = rowNamed(d, c, "note.txt");
             const FieldRow& top = rowNamed(d, c, "top.txt");
             for (const char* f : {"Offset", "OriginalSize", "StoredSize"}) note[column(c, f)] = top[column(c, f)];
         },
         "docs/note.txt", ErrorKind::StoredShared},
    };
    for (const auto& c : cases) {
        SalvageReport report;
        const auto files = salvage(catalogWith(c.change), report, c.what);
        ASSERT_EQ(report.lost.size(), 1u) << c.what;
        EXPECT_EQ(report.lost[0].path, c.lost) << c.what;
        EXPECT_EQ(report.lost[0].reason.kind(), c.reason) << c.what;
        EXPECT_EQ(files.count(c.lost), 0u) << c.what;
        EXPECT_FALSE(report.complete()) << c.what;
        const std::string lostContent = original.at(c.lost);
        bool found = false;
        for (const auto& [name, content] : files) found |= name.rfind("recovered/", 0) == 0 && content == lostContent;
        EXPECT_TRUE(found) << c.what << ": the file's own stream, which no row accounts for now";
    }
}

// Columns the engine does not know travel with every row that comes back, values included.
TEST_F(SalvageTest, ExtraColumnsTravelWithTheRows) {
    const int32_t at = catalogOffsetOf(bytes);
    TableData data = datapacket::read(bytes.data() + at, bytes.size() - at);
    Column note;
    note.name = "Comment";
    note.typeCode = data.columns[0].typeCode;
    note.kind = FieldKind::Text;
    note.width = 40;
    data.columns.push_back(note);
    for (Slot& s : data.slots) {
        Field f;
        f.state = FieldState::Value;
        f.raw = "about " + s.fields[0].raw.str();
        s.fields.push_back(f);
    }
    const Bytes packet = datapacket::write(data);
    Bytes b(bytes.begin(), bytes.begin() + at);
    b.insert(b.end(), packet.begin(), packet.end());
    const auto [offset, stored] = rangeOf("random.bin");
    b[static_cast<size_t>(offset + stored / 2)] ^= 1;

    SalvageReport report;
    salvage(b, report, "extra column");
    EXPECT_EQ(lostNames(report), std::set<std::string>{"bin/random.bin"});
    const Bytes saved = readAll(path("saved.oru"));
    const TableData back = datapacket::read(saved.data() + catalogOffsetOf(saved), saved.size() - catalogOffsetOf(saved));
    ASSERT_EQ(back.columns.size(), data.columns.size());
    EXPECT_EQ(back.columns.back().name, "Comment");
    size_t rows = 0;
    for (uint32_t slot : back.defaultOrder()) {
        const FieldRow& row = back.slots[slot - 1].fields;
        EXPECT_EQ(row[row.size() - 1].raw.str(), "about " + row[0].raw.str());
        ++rows;
    }
    EXPECT_EQ(rows, data.slots.size() - 1);
}

// A catalog written without some of the schema's columns (another writer's) still gives an
// archive that opens: the missing columns are added, unassigned.
TEST_F(SalvageTest, ACatalogLackingSchemaColumnsGivesAnArchiveThatOpens) {
    const int32_t at = catalogOffsetOf(bytes);
    TableData data = datapacket::read(bytes.data() + at, bytes.size() - at);
    for (const char* dropped : {schema::kCheckinDate, schema::kFileDate}) {
        const auto c = std::find_if(data.columns.begin(), data.columns.end(),
                                    [&](const Column& col) { return col.name == dropped; });
        ASSERT_NE(c, data.columns.end());
        const size_t index = static_cast<size_t>(c - data.columns.begin());
        data.columns.erase(c);
        for (Slot& slot : data.slots) {
            std::vector<Field> fields(slot.fields.begin(), slot.fields.end());
            fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(index));
            slot.fields = FieldRow(std::move(fields));
        }
    }
    const Bytes packet = datapacket::write(data);
    Bytes b(bytes.begin(), bytes.begin() + at);
    b.insert(b.end(), packet.begin(), packet.end());

    SalvageReport report;
    salvage(b, report, "two columns missing");
    EXPECT_TRUE(lostNames(report).empty());
    auto kiv = TKiv::OpenExisting(path("saved.oru"));
    EXPECT_TRUE(kiv->Catalog().HasField(schema::kCheckinDate));
    EXPECT_TRUE(kiv->Catalog().HasField(schema::kFileDate));
}

TEST_F(SalvageTest, AnExistingTargetIsRefusedAndKept) {
    writeText(path("saved.oru"), "mine");
    EXPECT_EQ(kindOf([&] { SalvageJob(archive, path("saved.oru")).Run(); }), ErrorKind::TargetExists);
    EXPECT_EQ(readAll(path("saved.oru")), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(kindOf([&] { SalvageJob(archive, archive).Run(); }), ErrorKind::TargetExists);
    EXPECT_EQ(readAll(archive), bytes);
    EXPECT_EQ(kindOf([&] { SalvageJob(path("none.oru"), path("new.oru")).Run(); }), ErrorKind::NotFound);
    EXPECT_FALSE(fs::fileExists(path("new.oru")));
}

// Hostile bytes: salvage ends, stores only what verifies, and keeps within its bounds.
TEST_F(SalvageTest, HostileBytesGiveOnlyVerifiedStreams) {
    Bytes headers(16, 0);
    std::memcpy(headers.data(), "KVAR", 4);
    putLe32(headers, 4, 0x7fffffff);
    // Every position a valid zlib header: each candidate fails, none is stored.
    for (int i = 0; i < 200000; ++i) {
        headers.push_back(0x78);
        headers.push_back(0x01);
    }
    // A stream that inflates to a lot from few bytes, with its Adler-32 broken.
    std::vector<uint8_t> zeros(8 << 20, 0);
    uLongf n = compressBound(zeros.size());
    Bytes bomb(n);
    compress2(bomb.data(), &n, zeros.data(), zeros.size(), 9);
    bomb.resize(n);
    Bytes broken = bomb;
    broken.back() ^= 1;
    // A few such streams cost their decoding once each; the good one behind them is found.
    const auto withBroken = [&](int count) {
        Bytes b = headers;
        for (int i = 0; i < count; ++i) b.insert(b.end(), broken.begin(), broken.end());
        b.insert(b.end(), bomb.begin(), bomb.end());
        return b;
    };
    Bytes hostile = withBroken(5);
    writeAll(archive, hostile);
    SalvageReport report = SalvageJob(archive, path("saved.oru")).Run();
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].offset, static_cast<int64_t>(hostile.size() - bomb.size()));
    EXPECT_EQ(report.files[0].size, static_cast<int64_t>(zeros.size()));
    EXPECT_EQ(report.files[0].path, "recovered/" + std::to_string(hostile.size() - bomb.size()) + ".bin");
    EXPECT_EQ(report.unscanned, 0);
    // Hundreds of them pass the scan's work bound: the rest is given up on, and said to be.
    hostile = withBroken(400);
    writeAll(archive, hostile);
    std::filesystem::remove(path("saved.oru"));
    report = SalvageJob(archive, path("saved.oru")).Run();
    EXPECT_GT(report.unscanned, 0);
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(readAll(archive), hostile);
}

TEST_F(SalvageTest, ShortAndEmptyFilesGiveEmptyArchives) {
    for (const Bytes& damaged : {Bytes{}, Bytes{'K', 'V'}, hexBytes("4B 56 41 52 10 00 00 00")}) {
        writeAll(archive, damaged);
        std::filesystem::remove(path("saved.oru"));
        const SalvageReport report = SalvageJob(archive, path("saved.oru")).Run();
        EXPECT_TRUE(report.files.empty());
        EXPECT_EQ(report.complete(), damaged.empty());
        EXPECT_TRUE(TKiv::OpenExisting(path("saved.oru"))->Catalog().IsEmpty());
    }
}

// An archive of 10,000 entries: with its catalog every row comes back by name; without it every
// stream is found, each once.
TEST_F(SalvageTest, TenThousandEntries) {
    mkdir("many");
    for (int i = 0; i < 10000; ++i) writeText(path("many/f" + std::to_string(i) + ".txt"), "file " + std::to_string(i) + "\n");
    const std::string big = path("big.oru");
    {
        auto kiv = TKiv::CreateNew(big);
        kiv->AddPath("", path("many"));
    }
    archive = big;
    bytes = readAll(big);
    {
        auto kiv = TKiv::OpenExisting(big, TKiv::Access::Shared);
        original = filesOf(*kiv);
    }
    ASSERT_EQ(original.size(), 10000u);
    SalvageReport report;
    EXPECT_EQ(salvage(bytes, report, "10,000 entries"), original);
    EXPECT_TRUE(report.complete());

    Bytes zeroed = bytes;
    std::fill(zeroed.begin() + catalogOffsetOf(bytes), zeroed.end(), 0);
    const auto files = salvage(zeroed, report, "10,000 entries, catalog zeroed");
    EXPECT_EQ(contentsOf(files), contentsOf(original));
}

// ---------------------------------------------------------------- the recovery file

int writesLeft = 0;
void killAtWrite() {
    if (--writesLeft == 0) ::raise(SIGKILL);
}

// Runs body in a child process killed just before its k-th write to any file; true when it was.
bool killedAtWrite(int k, const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        writesLeft = k;
        FileStream::setWriteHookForTesting(killAtWrite);
        try {
            body();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// An add killed part way leaves the recovery file beside the archive. Salvage reads it without
// replaying it into the archive: every file the replay would keep comes back by its own name,
// and the archive and the recovery file stay as they were.
TEST_F(SalvageTest, ARecoveryFileLeftByAKillGivesTheRowsOfTheInterruptedAdd) {
    mkdir("more");
    for (int i = 0; i < 12; ++i) writeAll(path("more/m" + std::to_string(i) + ".bin"), randomBytes(20000 + i, 100 + i));
    const Bytes before = bytes;
    TKiv::SetCheckpointInterval(1e9);  // no checkpoint during the add: only the recovery file knows
    int tried = 0;
    for (int k = 6; k < 40; k += 5) {
        writeAll(archive, before);
        if (!killedAtWrite(k, [&] { TKiv::OpenExisting(archive)->AddPath("", path("more")); })) break;
        const std::string journal = TKiv::RecoveryPathFor(archive);
        if (!fs::fileExists(journal)) continue;
        ++tried;
        const std::string when = "killed at write " + std::to_string(k);
        const Bytes damaged = readAll(archive);
        const Bytes journalBytes = readAll(journal);
        SalvageReport report;
        std::filesystem::remove(path("saved.oru"));
        report = SalvageJob(archive, path("saved.oru")).Run();
        EXPECT_EQ(readAll(archive), damaged) << when;
        EXPECT_EQ(readAll(journal), journalBytes) << when;
        std::map<std::string, std::string> saved;
        {
            auto kiv = TKiv::OpenExisting(path("saved.oru"));
            saved = filesOf(*kiv);
        }
        // What opening the archive (which replays the recovery file) keeps.
        std::map<std::string, std::string> replayed;
        {
            auto kiv = TKiv::OpenExisting(archive);
            replayed = filesOf(*kiv);
        }
        for (const auto& [name, content] : replayed) {
            ASSERT_TRUE(saved.count(name)) << when << ": " << name;
            EXPECT_EQ(saved.at(name), content) << when << ": " << name;
        }
        for (const auto& [name, content] : original) EXPECT_EQ(saved.at(name), content) << when << ": " << name;
        EXPECT_TRUE(report.usedRecoveryFile) << when;
    }
    TKiv::SetCheckpointInterval(0.5);
    EXPECT_GT(tried, 0);
}

// A recovery file written for another archive of that name is not used.
TEST_F(SalvageTest, ARecoveryFileOfAnotherArchiveIsPassedOver) {
    const Bytes before = bytes;
    TKiv::SetCheckpointInterval(1e9);
    mkdir("more");
    writeAll(path("more/m.bin"), randomBytes(50000, 5));
    // The first write that leaves the recovery file behind.
    for (int k = 1; k < 20 && !fs::fileExists(TKiv::RecoveryPathFor(archive)); ++k) {
        writeAll(archive, before);
        killedAtWrite(k, [&] { TKiv::OpenExisting(archive)->AddPath("", path("more")); });
    }
    TKiv::SetCheckpointInterval(0.5);
    ASSERT_TRUE(fs::fileExists(TKiv::RecoveryPathFor(archive)));
    Bytes other = before;
    other[8] ^= 1;  // another creation date
    SalvageReport report;
    salvage(other, report, "another archive's recovery file");
    EXPECT_FALSE(report.usedRecoveryFile);
}

}  // namespace
}  // namespace oru::test
