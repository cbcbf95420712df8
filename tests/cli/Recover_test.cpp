// SPDX-License-Identifier: GPL-3.0-or-later
// oru recover: what it prints, its exit status, and that the damaged archive stays as it was.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

class OruRecover : public OruTest {
protected:
    // a.oru holding docs/a.txt, docs/b.png and top.txt; returns its catalog offset.
    uint32_t makeArchive() {
        writeFile(path("src/docs/a.txt"), "alpha\n");
        writeFile(path("src/docs/b.png"), std::string("\x89PNG\r\n\x1a\n", 8) + sampleBytes(5000, 1));
        writeFile(path("src/top.txt"), sampleBytes(300000, 2));
        ok({"add", "a.oru", "src/docs", "src/top.txt"});
        const std::string bytes = readFile(path("a.oru"));
        uint32_t offset = 0;
        std::memcpy(&offset, bytes.data() + 4, 4);
        return offset;
    }
};

TEST_F(OruRecover, ASoundArchiveComesBackWholeWithExitZero) {
    english();
    makeArchive();
    const std::string out = ok({"recover", "-v", "a.oru", "saved.oru"});
    EXPECT_NE(out.find("kept: docs/a.txt\n"), std::string::npos) << out;
    EXPECT_NE(out.find("kept: top.txt\n"), std::string::npos) << out;
    EXPECT_NE(out.find("3 stored files came back (0 under made-up names), 0 lost, 0 bytes unaccounted for; "
                       "written to saved.oru\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(ok({"list", "a.oru"}), ok({"list", "saved.oru"}));
}

// The catalog zeroed: each stream is found and named by its offset and content, the command
// fails, and the damaged archive is the same afterwards.
TEST_F(OruRecover, AZeroedCatalogGivesMadeUpNamesAndExitOne) {
    english();
    const uint32_t at = makeArchive();
    std::string damaged = readFile(path("a.oru"));
    std::fill(damaged.begin() + at, damaged.end(), '\0');
    writeFile(path("a.oru"), damaged);

    const RunResult r = oru({"recover", "a.oru", "saved.oru"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("catalog unreadable: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("found: recovered/16.txt (6 bytes, stored at offset 16)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(".png (5008 bytes, stored at offset "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 stored files came back (3 under made-up names), 0 lost"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "oru: a.oru could not be salvaged whole: 0 rows lost, 3 files stored under made-up names in "
                     "saved.oru.\n");
    EXPECT_EQ(readFile(path("a.oru")), damaged);
    EXPECT_EQ(ok({"test", "saved.oru"}), "3 stored files checked, 0 damaged\n");
    EXPECT_EQ(ok({"cat", "saved.oru", "recovered/16.txt"}), "alpha\n");
}

TEST_F(OruRecover, ADamagedStreamIsNamedAsLost) {
    english();
    makeArchive();
    std::string damaged = readFile(path("a.oru"));
    damaged[16 + 3] ^= 0x40;  // inside docs/a.txt's stream, the first stored
    writeFile(path("a.oru"), damaged);
    const RunResult r = oru({"recover", "a.oru", "saved.oru"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("lost: docs/a.txt: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 stored files came back (0 under made-up names), 1 lost"), std::string::npos) << r.out;
    EXPECT_EQ(ok({"cat", "saved.oru", "top.txt"}), sampleBytes(300000, 2));
}

TEST_F(OruRecover, RefusesAnExistingTargetAndWrongArguments) {
    english();
    makeArchive();
    writeFile(path("saved.oru"), "keep me");
    RunResult r = oru({"recover", "a.oru", "saved.oru"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "oru: saved.oru: a file of that name exists; salvage writes only a new archive.\n");
    EXPECT_EQ(readFile(path("saved.oru")), "keep me");
    for (const auto& args : {std::vector<std::string>{"recover", "a.oru"},
                             std::vector<std::string>{"recover", "a.oru", "b.oru", "c.oru"},
                             std::vector<std::string>{"recover", "-o", "a.oru", "b.oru"}}) {
        EXPECT_EQ(oru(args).status, 2) << args.size();
    }
    EXPECT_FALSE(stdfs::exists(path("b.oru")));
}

}  // namespace
}  // namespace oru::testing
