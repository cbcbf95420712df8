// End-to-end tests of the `oru` tool: the built binary runs against real temporary folders.

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "archive/zipUtil.h"
#include "platform/Stream.h"
#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

// Every regular file below root, as relative path -> content.
std::map<std::string, std::string> filesBelow(const stdfs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : stdfs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files[stdfs::relative(e.path(), root).string()] = readFile(e.path());
    }
    return files;
}

// The TYPE, SIZE and PATH columns of `oru list`, checking that STORED and DATE look right.
std::vector<std::string> listed(const std::string& listOutput) {
    static const std::regex line(R"(^(d)\t\t\t(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\t(.+)$|^(f)\t(\d+)\t(\d+)\t(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\t(.+)$)");
    std::vector<std::string> result;
    for (const auto& l : lines(listOutput)) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(l, m, line)) << "malformed list line: " << l;
        if (m.empty()) continue;
        result.push_back(m[1].matched ? "d " + m[3].str() : "f " + m[5].str() + " " + m[8].str());
    }
    return result;
}

class OruCli : public OruTest {
protected:
    // src/docs/{a.txt, empty.bin, it's.txt, img/b.png, sub/}, src/top.txt, src/中文.txt
    void makeTree() {
        writeFile(path("src/docs/a.txt"), "alpha\n");
        writeFile(path("src/docs/empty.bin"), "");
        writeFile(path("src/docs/it's.txt"), "quote");
        writeFile(path("src/docs/img/b.png"), sampleBytes(5000, 1));
        stdfs::create_directories(path("src/docs/sub"));
        writeFile(path("src/top.txt"), sampleBytes(300000, 2));
        writeFile(path("src/中文.txt"), "漢字\n");
    }
    void makeArchive() {
        makeTree();
        ok({"new", "a.oru"});
        ok({"add", "a.oru", "src/docs", "src/top.txt", "src/中文.txt"});
    }
};

TEST_F(OruCli, RoundTripOfATreeListsAndExtractsEveryByte) {
    makeArchive();
    EXPECT_EQ(listed(ok({"list", "a.oru"})), (std::vector<std::string>{
                                                 "d docs",
                                                 "d docs/img",
                                                 "f 5000 docs/img/b.png",
                                                 "d docs/sub",
                                                 "f 6 docs/a.txt",
                                                 "f 0 docs/empty.bin",
                                                 "f 5 docs/it's.txt",
                                                 "f 300000 top.txt",
                                                 "f 7 中文.txt",
                                             }));
    // An empty file is stored as the 8-byte stream of nothing.
    EXPECT_NE(ok({"list", "a.oru"}).find("f\t0\t8\t"), std::string::npos);

    EXPECT_EQ(ok({"extract", "a.oru", "out/new"}), "");
    EXPECT_EQ(filesBelow(path("out/new")), filesBelow(path("src")));
}

TEST_F(OruCli, NamedEntriesAreExtractedAndCatenated) {
    makeArchive();
    ok({"extract", "a.oru", "out", "docs/img", "中文.txt", "/docs//a.txt/"});
    EXPECT_EQ(filesBelow(path("out")), (std::map<std::string, std::string>{
                                           {"img/b.png", sampleBytes(5000, 1)},
                                           {"中文.txt", "漢字\n"},
                                           {"a.txt", "alpha\n"},
                                       }));

    EXPECT_EQ(ok({"cat", "a.oru", "docs/a.txt"}), "alpha\n");
    EXPECT_EQ(ok({"cat", "a.oru", "top.txt"}), sampleBytes(300000, 2));
    EXPECT_EQ(ok({"cat", "a.oru", "docs/empty.bin"}), "");
}

// Folders are linked by name: two folders x are one parent, and a path names the rows of both.
TEST_F(OruCli, APathActsOnEveryRowItNames) {
    writeFile(path("one/x/f1"), "first");
    writeFile(path("two/x/f2"), "second");
    writeFile(path("two/keep"), "kept");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "one/x", "two/x", "two/keep"});
    EXPECT_EQ(listed(ok({"list", "a.oru"})),
              (std::vector<std::string>{"d x", "f 5 x/f1", "f 6 x/f2", "d x", "f 5 x/f1", "f 6 x/f2",
                                        "f 4 keep"}));
    ok({"extract", "a.oru", "out", "x"});
    EXPECT_EQ(filesBelow(path("out")),
              (std::map<std::string, std::string>{{"x/f1", "first"}, {"x/f2", "second"}}));

    ok({"delete", "a.oru", "x"});
    EXPECT_EQ(listed(ok({"list", "a.oru"})), (std::vector<std::string>{"f 4 keep"}));
}

// A folder x inside a folder x makes a cycle of names; listing ends at the repeated name.
TEST_F(OruCli, ListEndsAtACycleOfNames) {
    writeFile(path("a/b/a/f"), "deep");
    ok({"new", "c.oru"});
    ok({"add", "c.oru", "a"});
    EXPECT_EQ(listed(ok({"list", "c.oru"})),
              (std::vector<std::string>{"d a", "d a/b", "d a/b/a", "f 4 a/f"}));
}

TEST_F(OruCli, DeleteOfAFolderCompactsAndTestsClean) {
    makeArchive();
    const auto before = stdfs::file_size(path("a.oru"));
    EXPECT_EQ(ok({"delete", "a.oru", "docs", "docs/a.txt"}), "");  // the second is gone with docs
    EXPECT_EQ(listed(ok({"list", "a.oru"})), (std::vector<std::string>{"f 300000 top.txt", "f 7 中文.txt"}));
    EXPECT_LT(stdfs::file_size(path("a.oru")), before);
    EXPECT_EQ(ok({"test", "a.oru"}), "2 stored files checked, 0 damaged\n");

    const std::string info = ok({"info", "a.oru"});
    for (const char* field : {"magic: KVAR\n", "folders: 0\n", "files: 2\n", "dead bytes: 0\n",
                              "original bytes: 300007\n", "change-log entries: "}) {
        EXPECT_NE(info.find(field), std::string::npos) << field << " missing in\n" << info;
    }
    ok({"delete", "a.oru", "top.txt", "中文.txt"});
    EXPECT_EQ(ok({"list", "a.oru"}), "");
    EXPECT_EQ(ok({"test", "a.oru"}), "0 stored files checked, 0 damaged\n");
}

TEST_F(OruCli, AMissingEntryChangesNothing) {
    makeArchive();
    const std::string bytes = readFile(path("a.oru"));
    const RunResult r = oru({"delete", "a.oru", "top.txt", "docs/nothing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "oru: no entry \"docs/nothing\" in a.oru.\n");
    EXPECT_EQ(readFile(path("a.oru")), bytes);
}

// Dead bytes: a row deleted through the engine without compaction leaves its stored bytes.
TEST_F(OruCli, CompactDropsDeadBytes) {
    writeFile(path("a.txt"), sampleBytes(20000, 3));
    writeFile(path("b.txt"), "bee");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "a.txt", "b.txt"});
    {
        auto kiv = TKiv::OpenExisting(path("a.oru").string());
        CatalogTable& catalog = kiv->Catalog();
        catalog.First();
        while (catalog.GetText("FileName") != "a.txt") catalog.Next();
        kiv->DeleteEntry(catalog);
        catalog.MergeChanges();
        kiv->SaveCatalog();
    }
    const std::string info = ok({"info", "a.oru"});
    EXPECT_EQ(info.find("dead bytes: 0\n"), std::string::npos) << info;
    ok({"compact", "a.oru"});
    EXPECT_NE(ok({"info", "a.oru"}).find("dead bytes: 0\n"), std::string::npos);
    EXPECT_EQ(ok({"cat", "a.oru", "b.txt"}), "bee");
    EXPECT_LT(stdfs::file_size(path("a.oru")), 200u + 3000u);
}

// Each way the stored data can be damaged is found by `test`, naming the entry.
TEST_F(OruCli, TestNamesEachDamagedEntry) {
    struct Case {
        const char* what;
        void (*damage)(const stdfs::path& archive, int64_t storedSize);
        const char* reason;
    };
    const Case cases[] = {
        {"checksum byte flipped",
         [](const stdfs::path& a, int64_t stored) {
             std::string bytes = readFile(a);
             bytes[16 + stored - 1] ^= 0x40;  // last byte of the Adler-32 of the first entry
             writeFile(a, bytes);
         },
         "error."},
        {"recorded size too large",
         [](const stdfs::path& a, int64_t) {
             auto kiv = TKiv::OpenExisting(a.string());
             CatalogTable& c = kiv->Catalog();
             c.First();
             c.Edit();
             c.SetInteger("OriginalSize", c.GetInteger("OriginalSize") + 1);
             c.Post();
             kiv->SaveCatalog();
         },
         "decodes to 4000 bytes, recorded size 4001."},
        {"recorded size too small",  // decoding stops at the recorded size
         [](const stdfs::path& a, int64_t) {
             auto kiv = TKiv::OpenExisting(a.string());
             CatalogTable& c = kiv->Catalog();
             c.First();
             c.Edit();
             c.SetInteger("OriginalSize", c.GetInteger("OriginalSize") - 1);
             c.Post();
             kiv->SaveCatalog();
         },
         "error."},
        {"stored bytes beyond the file",
         [](const stdfs::path& a, int64_t) {
             auto kiv = TKiv::OpenExisting(a.string());
             CatalogTable& c = kiv->Catalog();
             c.First();
             c.Edit();
             c.SetInteger("Offset", 1 << 30);
             c.Post();
             kiv->SaveCatalog();
         },
         "Stream read error."},
    };
    writeFile(path("dir/first.txt"), sampleBytes(4000, 4));
    writeFile(path("dir/second.txt"), "second\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stdfs::remove(path("t.oru"));
        ok({"new", "t.oru"});
        ok({"add", "t.oru", "dir/first.txt", "dir/second.txt"});  // first.txt lies at offset 16
        const std::string list = ok({"list", "t.oru"});
        const int64_t stored = std::stoll(list.substr(list.find('\t', 2) + 1));
        c.damage(path("t.oru"), stored);

        const RunResult r = oru({"test", "t.oru"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, std::string("damaged: first.txt: ") + c.reason + "\n2 stored files checked, 1 damaged\n");
        EXPECT_EQ(r.err, "oru: 1 of 2 stored files are damaged.\n");
    }
}

TEST_F(OruCli, FailuresExitOneWithTheEngineMessage) {
    writeFile(path("notes.txt"), "not an archive");
    writeFile(path("in/a.txt"), "a");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "in"});
    writeFile(path("blocker"), "a file where a directory should go");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"list", "missing.oru"}, "oru: missing.oru找不到這個檔案.\n"},
        {{"info", "notes.txt"}, "oru: notes.txt檔案格式不符.\n"},
        {{"add", "a.oru", "nowhere"}, "oru: Cannot open file nowhere.\n"},
        {{"new", "no/such/dir/x.oru"}, "oru: Cannot create file no/such/dir/x.oru.\n"},
        {{"cat", "a.oru", "in"}, "oru: in是一個目錄.\n"},
        {{"cat", "a.oru", "in/b.txt"}, "oru: no entry \"in/b.txt\" in a.oru.\n"},
        {{"extract", "a.oru", "blocker"}, "oru: Cannot create file blocker/in/a.txt.\n"},
        {{"add", "a.oru", "/"}, "oru: cannot add /: it has no name to store.\n"},
        {{"extract", "missing.oru", "out"}, "oru: missing.oru找不到這個檔案.\n"},
        {{"delete", "missing.oru", "x"}, "oru: missing.oru找不到這個檔案.\n"},
        {{"compact", "notes.txt"}, "oru: notes.txt檔案格式不符.\n"},
        {{"test", "notes.txt"}, "oru: notes.txt檔案格式不符.\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = oru(c.args);
        EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    // An archive that another program holds open is refused, and left as it was.
    const std::string bytes = readFile(path("a.oru"));
    {
        FileStream held(path("a.oru").string(), FileStream::Mode::Read);
        for (const std::vector<std::string>& args : {std::vector<std::string>{"add", "a.oru", "notes.txt"},
                                                     std::vector<std::string>{"list", "a.oru"}}) {
            const RunResult r = oru(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "oru: Cannot open file a.oru.\n");
        }
    }
    EXPECT_EQ(readFile(path("a.oru")), bytes);
}

// A path with a trailing "/" or a last component "." still stores the folder's own name.
TEST_F(OruCli, AddedPathsKeepTheFolderName) {
    writeFile(path("src/docs/a.txt"), "a");
    ok({"new", "a.oru"});
    ok({"add", "a.oru", "src/docs/", "src/docs/.", "src/docs/../docs"});
    EXPECT_EQ(listed(ok({"list", "a.oru"})),
              (std::vector<std::string>{"d docs", "f 1 docs/a.txt", "f 1 docs/a.txt", "f 1 docs/a.txt",
                                        "d docs", "f 1 docs/a.txt", "f 1 docs/a.txt", "f 1 docs/a.txt",
                                        "d docs", "f 1 docs/a.txt", "f 1 docs/a.txt", "f 1 docs/a.txt"}));
}

TEST_F(OruCli, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", "a.oru"},
        {"list"},
        {"list", "a.oru", "b.oru"},
        {"cat", "a.oru"},
        {"cat", "a.oru", "x", "y"},
        {"add", "a.oru"},
        {"extract", "a.oru"},
        {"delete", "a.oru"},
        {"-x", "list", "a.oru"},
        {"list", "-z", "a.oru"},
        {"list", "a.oru", "-q"},
    };
    for (const auto& args : cases) {
        const RunResult r = oru(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err.rfind("oru: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("usage: oru"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(stdfs::exists(path("a.oru")));
}

TEST_F(OruCli, HelpAndVersion) {
    const std::string help = ok({"--help"});
    for (const char* command : {"new", "add", "list", "extract", "cat", "delete", "compact", "test", "info"}) {
        EXPECT_NE(help.find(std::string("oru ") + command + " ARCHIVE"), std::string::npos) << command;
        EXPECT_NE(ok({command, "--help"}).find(std::string("usage: oru [-q] ") + command), std::string::npos);
    }
    EXPECT_TRUE(std::regex_match(ok({"--version"}), std::regex("oru \\d+\\.\\d+\\.\\d+\n")));
}

// "--" ends the options, and -q is accepted before the command.
TEST_F(OruCli, OperandsMayBeginWithADash) {
    writeFile(path("-dash.txt"), "dash");
    ok({"-q", "new", "a.oru"});
    ok({"-q", "add", "a.oru", "--", "-dash.txt"});
    EXPECT_EQ(ok({"cat", "a.oru", "--", "-dash.txt"}), "dash");
}

}  // namespace
}  // namespace oru::testing
