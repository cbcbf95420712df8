// SPDX-License-Identifier: GPL-3.0-or-later
// File > Repair: offered when an archive fails to open as damaged or Test finds damage; writes
// what verifies into a new archive and leaves the damaged one as it was.
#include <cstring>
#include <map>

#include "WindowTestSupport.h"
#include "platform/Error.h"

namespace oru::ui {
namespace {

using namespace testing;

class RepairTest : public ::testing::Test {
protected:
    TempDir tmp;

    // a.oru holding a.txt and b.txt; returns the archive's bytes.
    std::string makeDamageable() {
        writeFile(tmp / "src/a.txt", std::string(3000, 'a'));
        writeFile(tmp / "src/b.txt", std::string(3000, 'b'));
        makeArchive(tmp / "a.oru", {tmp / "src/a.txt", tmp / "src/b.txt"});
        return readFile(tmp / "a.oru");
    }
    static int32_t catalogOffset(const std::string& bytes) {
        int32_t offset = 0;
        std::memcpy(&offset, bytes.data() + 4, 4);
        return offset;
    }
    // The files of the archive at path: parent/name -> content.
    static std::map<std::string, std::string> filesOf(const std::string& path) {
        auto archive = oru::TKiv::OpenExisting(path, oru::TKiv::Access::Shared);
        CatalogTable& c = archive->Catalog();
        std::map<std::string, std::string> files;
        for (c.First(); !c.AtEnd(); c.Next()) {
            if (c.GetInteger("FileType") != 1) continue;
            oru::MemoryStream content;
            archive->ReadEntry(c, content);
            const std::string parent = c.GetText("ParentName");
            files[(parent.empty() ? "" : parent + "/") + c.GetText("FileName")] =
                std::string(content.bytes().begin(), content.bytes().end());
        }
        return files;
    }
};

// Started with an archive whose catalog is zeroed: opening fails through the central handler,
// the status bar offers Repair, and Repair writes both files into the archive chosen.
TEST_F(RepairTest, AnArchiveThatDoesNotOpenIsRepairedIntoANewOne) {
    std::string bytes = makeDamageable();
    std::fill(bytes.begin() + catalogOffset(bytes), bytes.end(), '\0');
    writeFile(tmp / "a.oru", bytes);

    ShownErrors shown;
    TMainFrm w({tmp / "a.oru"});
    EXPECT_FALSE(w.runCommand([&] { w.FormCreate(); }));
    EXPECT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(w.CurrentArchive(), nullptr);
    EXPECT_TRUE(OutcomeStatus(w)->text().startsWith(QStringLiteral("a.oru"))) << OutcomeStatus(w)->text().toStdString();

    SaveDialog::setNextAnswer(std::optional<std::string>(tmp / "saved.oru"));
    QString summary;
    QStringList items;
    ReportDialog::answerWith([&](const QString&, const QString& s, const QStringList& i) {
        summary = s;
        items = i;
    });
    EXPECT_TRUE(w.runCommand([&] { w.repairArchive(); }));
    EXPECT_EQ(readFile(tmp / "a.oru"), bytes);
    const auto files = filesOf(tmp / "saved.oru");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.begin()->second, std::string(3000, 'a'));
    EXPECT_EQ(files.begin()->first.rfind("recovered/", 0), 0u) << files.begin()->first;
    EXPECT_EQ(items.size(), 3);  // the catalog's damage and the two files found
    EXPECT_FALSE(summary.isEmpty());
}

// Test finds a damaged file: the status bar offers Repair, which keeps the sound file under its
// own name and names the damaged one as lost.
TEST_F(RepairTest, TestOffersRepairAndRepairKeepsTheSoundFiles) {
    std::string bytes = makeDamageable();
    bytes[16 + 5] ^= 0x33;  // inside a.txt's stream, the first stored
    writeFile(tmp / "a.oru", bytes);

    TMainFrm w({tmp / "a.oru"});
    w.FormCreate();
    ReportDialog::setNextAnswer();
    w.testArchive();
    EXPECT_TRUE(OutcomeStatus(w)->text().contains(QStringLiteral("修復"))) << OutcomeStatus(w)->text().toStdString();

    SaveDialog::setNextAnswer(std::optional<std::string>(tmp / "saved.oru"));
    QStringList items;
    ReportDialog::answerWith([&](const QString&, const QString&, const QStringList& i) { items = i; });
    w.repairArchive();
    EXPECT_EQ(filesOf(tmp / "saved.oru"), (std::map<std::string, std::string>{{"b.txt", std::string(3000, 'b')}}));
    ASSERT_EQ(items.size(), 1);
    EXPECT_TRUE(items[0].contains(QStringLiteral("a.txt"))) << items[0].toStdString();
    EXPECT_EQ(readFile(tmp / "a.oru"), bytes);
}

}  // namespace
}  // namespace oru::ui
