// SPDX-License-Identifier: GPL-3.0-or-later
// What users see and type is the true name: `oru list` shows it, ENTRY paths and patterns match
// it, extraction writes it, while the catalog names keep linking the folders. And a generated
// tree of awkward names, modes, times and links comes back from `oru add` and `oru extract`
// exactly as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "archive/EntryMeta.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "tests/cli/OruRunner.h"

namespace oru::testing {
namespace {

// One row written by hand: catalog names (CP950), type, content (files) and true name.
struct NamedRow {
    std::string fileName, parent;
    int32_t type = 1;
    std::string content;
    std::optional<std::string> trueName;
};

class TrueNames : public OruTest {
protected:
    // a.oru holding rows, with the extension columns; file rows get stored bytes of their own.
    void writeArchive(const std::vector<NamedRow>& rows) {
        auto kiv = TKiv::CreateNew(path("a.oru").string());
        CatalogTable& c = kiv->Catalog();
        entrymeta::addColumns(c);
        int n = 0;
        for (const NamedRow& r : rows) {
            if (r.type == schema::kFile) {
                const std::string source = "s" + std::to_string(n++);
                writeFile(path("src/" + source), r.content);
                kiv->AddPath("", path("src/" + source).string());
                for (c.First(); c.GetText(schema::kFileName) != source; c.Next()) {
                }
                c.Edit();
            } else {
                c.Append();
                c.SetInteger(schema::kFileType, r.type);
                c.SetDateTime(schema::kCheckinDate, 45000.5);
            }
            c.SetText(schema::kFileName, r.fileName);
            c.SetText(schema::kParentName, r.parent);
            entrymeta::write(c, EntryMeta{.trueName = r.trueName});
            c.Post();
        }
        kiv->SaveCatalog();
    }
};

// Two folders stored as "ex" and "ex~2" (the catalog keeps names unique) are both "examples" to
// the user; a Korean name stored as "___.txt" is "한국어.txt".
TEST_F(TrueNames, ListEntriesAndPatternsUseTheTrueName) {
    english();
    writeArchive({
        {"a", "", 0, "", {}},
        {"b", "", 0, "", {}},
        {"ex", "a", 0, "", "examples"},
        {"ex~2", "b", 0, "", "examples"},
        {"x.txt", "ex", 1, "1", {}},
        {"y.txt", "ex~2", 1, "2", {}},
        {"___.txt", "", 1, "k", "한국어.txt"},
    });
    std::vector<std::string> paths;
    for (const std::string& line : lines(ok({"list", "a.oru"}))) paths.push_back(line.substr(line.rfind('\t') + 1));
    EXPECT_EQ(paths, (std::vector<std::string>{"a", "a/examples", "a/examples/x.txt", "b", "b/examples",
                                               "b/examples/y.txt", "한국어.txt"}));
    const struct {
        std::vector<std::string> entries;
        std::map<std::string, std::string> extracted;  // empty: "no entry"
    } cases[] = {
        {{"a/examples"}, {{"examples/x.txt", "1"}}},
        {{"b/examples/y.txt"}, {{"y.txt", "2"}}},
        {{"*/examples/*.txt"}, {{"x.txt", "1"}, {"y.txt", "2"}}},
        {{"한국어.txt"}, {{"한국어.txt", "k"}}},
        {{"?국어.txt"}, {{"한국어.txt", "k"}}},
        {{"___.txt"}, {}},     // the catalog name is no name of the user's
        {{"a/ex"}, {}},
        {{"b/ex~2/y.txt"}, {}},
    };
    int run = 0;
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.entries));
        const std::string out = "out" + std::to_string(run++);
        std::vector<std::string> args{"extract", "a.oru", out};
        args.insert(args.end(), k.entries.begin(), k.entries.end());
        const RunResult r = oru(args);
        if (k.extracted.empty()) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "oru: no entry \"" + k.entries.back() + "\" in a.oru.\n");
        } else {
            EXPECT_EQ(r.status, 0) << r.err;
            std::map<std::string, std::string> files;
            for (const auto& e : stdfs::recursive_directory_iterator(path(out))) {
                if (e.is_regular_file()) files[stdfs::relative(e.path(), path(out)).string()] = readFile(e.path());
            }
            EXPECT_EQ(files, k.extracted);
        }
    }
    // Extracting everything writes the true names only.
    ok({"extract", "a.oru", "all"});
    EXPECT_EQ(readFile(path("all/b/examples/y.txt")), "2");
    EXPECT_EQ(readFile(path("all/한국어.txt")), "k");
    EXPECT_FALSE(stdfs::exists(path("all/___.txt")));
    EXPECT_FALSE(stdfs::exists(path("all/b/ex~2")));
}

// ---- the generated tree

void setTime(const std::string& path, int64_t seconds, long nanos) {
    struct timespec times[2] = {{static_cast<time_t>(seconds), nanos}, {static_cast<time_t>(seconds), nanos}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// The output of a shell command run in dir.
std::string shell(const std::string& dir, const std::string& command) {
    const std::string full = "cd '" + dir + "' && " + command;
    std::FILE* pipe = ::popen(full.c_str(), "r");
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// Every item below dir as find describes it (path, type, mode, modification time, link target),
// then a checksum of every file.
std::string describe(const std::string& dir) {
    return shell(dir, "find . -printf '%P %y %m %T@ %l\\n' | LC_ALL=C sort && "
                      "find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum");
}

// Korean, Japanese, emoji, accented, simplified-Chinese and 200-byte names, folders of one name at
// several depths, a 755 script, a 600 file, files of 1999 and past 2038, relative, absolute and
// dangling links, empty folders; folder times set last, deepest first.
void generateTree(const std::string& root) {
    const std::string longName = std::string(196, 'n') + ".txt";
    const std::vector<std::string> folders = {"", "简体目录", "a", "a/examples", "a/c", "a/c/examples", "b",
                                              "b/examples", "empty", "a/c/empty"};
    for (const std::string& f : folders) stdfs::create_directories(root + "/" + f);
    const struct {
        std::string path;
        unsigned mode;
        int64_t seconds;
    } files[] = {
        {"한국어.txt", 0644, 1600000000},     {"日本語ひらがな.txt", 0644, 1600000001},
        {"😀.txt", 0644, 1600000002},         {"résumé.txt", 0644, 1600000003},
        {"简体目录/简体.txt", 0644, 1600000004}, {longName, 0644, 1600000005},
        {"a/examples/x", 0644, 1600000006},   {"a/c/examples/z", 0644, 1600000007},
        {"b/examples/y", 0644, 1600000008},   {"script.sh", 0755, 1600000009},
        {"secret", 0600, 1600000010},         {"old.txt", 0644, 915148800},
        {"future.txt", 0644, 2208988800},     {"notes ", 0644, 1600000011},
    };
    for (const auto& f : files) {
        const std::string p = root + "/" + f.path;
        writeFile(p, "content of " + f.path);
        ASSERT_EQ(::chmod(p.c_str(), f.mode), 0);
        setTime(p, f.seconds, 123456789);
    }
    const std::pair<const char*, const char*> links[] = {
        {"rel", "한국어.txt"}, {"a/up", "../script.sh"}, {"abs", "/etc/hostname"}, {"dangling", "missing/nowhere"}};
    for (const auto& [name, target] : links) {
        const std::string p = root + "/" + name;
        ASSERT_EQ(::symlink(target, p.c_str()), 0);
        setTime(p, 1500000000, 5);
    }
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) {
        const std::string p = root + "/" + *f;
        ASSERT_EQ(::chmod(p.c_str(), *f == "b" ? 0750 : 0755), 0);
        setTime(p, 1400000000 + static_cast<int64_t>(f - folders.rbegin()), 999999999);
    }
}

TEST_F(TrueNames, GeneratedTreeRoundTripsExactly) {
    english();
    generateTree(path("tree").string());
    // The suite writes plain archives unless a test asks otherwise; this one needs the columns.
    struct NotPlain {
        const char* was = std::getenv("ORU_PLAIN");
        std::string saved = was ? was : "";
        NotPlain() { unsetenv("ORU_PLAIN"); }
        ~NotPlain() {
            if (was) setenv("ORU_PLAIN", saved.c_str(), 1);
        }
    } notPlain;
    const RunResult added = oru({"add", "t.oru", "tree"});
    {
        auto kiv = TKiv::OpenExisting(path("t.oru").string());
        ASSERT_TRUE(entrymeta::hasColumns(kiv->Catalog()));
    }
    // Links are stored as links, the dangling one too; nothing is renamed.
    ASSERT_EQ(added.status, 0) << added.err;
    // The listing shows what the archive keeps: links with their targets, modes, exact times.
    const std::string json = ok({"list", "--json", "t.oru"});
    for (const char* member : {
             R"("path":"tree/rel","type":"link","size":13,"stored":22,)",
             R"("modified":"2017-07-14T02:40:00.000000005Z","mode":511,"target":"한국어.txt"})",
             R"("path":"tree/script.sh","type":"file",)",
             R"("modified":"2020-09-13T12:26:49.123456789Z","mode":493,"target":null})",
             R"("modified":"2040-01-01T00:00:00.123456789Z","mode":420,"target":null})",
             R"("path":"tree/b","type":"folder","size":null,"stored":null,)",
         }) {
        EXPECT_NE(json.find(member), std::string::npos) << member << "\n" << json;
    }
    EXPECT_NE(ok({"list", "t.oru"}).find("l\t13\t22\t"), std::string::npos);
    ok({"extract", "t.oru", "out"});
    const std::string before = describe(path("tree").string());
    EXPECT_NE(before.find("한국어.txt"), std::string::npos);
    EXPECT_EQ(describe(path("out/tree").string()), before);
}

}  // namespace
}  // namespace oru::testing
