// SPDX-License-Identifier: GPL-3.0-or-later
// The window and oru give one answer on one damaged archive: the window's Test lists the entries
// `oru test` calls damaged, with the same reasons, and Properties counts the rows as `oru info`
// does. Both run the engine's TestJob and ArchiveFigures; this checks that neither front end
// adds judgement of its own on the way to the user.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include "UiTestSupport.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/Progress.h"
#include "archive/zipUtil.h"
#include "ui/ArchiveReport.h"

namespace oru::ui {
using testing::TempDir;
namespace {

struct Quiet : Progress {
    void update(const Info&) override {}
};

QStringList oruLines(const QStringList& args) {
    QProcess oru;
    oru.start(QStringLiteral(ORU_CLI_PATH), args);
    EXPECT_TRUE(oru.waitForFinished(30000));
    return QString::fromUtf8(oru.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

TEST(FrontEndsAgreeTest, TestAndFiguresOfOneDamagedArchive) {
    const TempDir dir;
    const std::string archive = oru::test::writeDamagedArchive(dir.path());
    auto kiv = TKiv::OpenExisting(archive, TKiv::Access::Shared);

    // Test: the window's lines "name: reason" against oru's "損壞：name：reason", then the counts.
    Quiet quiet;
    const TestResult window = testEntries(*kiv, quiet);
    ASSERT_EQ(window.damaged.size(), 2) << window.damaged.join(u'\n').toStdString();
    QStringList fromOru = oruLines({QStringLiteral("test"), QString::fromStdString(archive)});
    ASSERT_FALSE(fromOru.isEmpty());
    const QString summary = fromOru.takeLast();
    QStringList damagedByOru;
    for (const QString& line : fromOru) {
        ASSERT_TRUE(line.startsWith(QStringLiteral("損壞："))) << line.toStdString();
        damagedByOru << line.mid(3).replace(QStringLiteral("："), QStringLiteral(": "));
    }
    EXPECT_EQ(damagedByOru, window.damaged);
    EXPECT_EQ(summary, QStringLiteral("檢查了 %1 個儲存的檔案，2 個已損壞").arg(window.checked));
    EXPECT_EQ(window.checked, 3);

    // Figures: the counts Properties shows are the ones oru info prints.
    const ArchiveProperties p = propertiesOf(*kiv);
    const QStringList info = oruLines({QStringLiteral("info"), QString::fromStdString(archive)});
    const auto field = [&info](const char* name) {
        for (const QString& line : info)
            if (line.startsWith(QLatin1String(name) + QStringLiteral(": "))) return line.section(u' ', -1).toLongLong();
        ADD_FAILURE() << name << " missing from oru info";
        return -1LL;
    };
    EXPECT_EQ(p.folders, field("folders"));
    EXPECT_EQ(p.files, field("files"));
    EXPECT_EQ(p.others, field("other entries"));
    EXPECT_EQ(p.others, 1);
    EXPECT_EQ(p.originalBytes, field("original bytes"));
    EXPECT_EQ(p.storedBytes, field("data bytes"));
    EXPECT_EQ(p.deadBytes, field("dead bytes"));
    EXPECT_EQ(p.catalogBytes, field("catalog bytes"));
}

}  // namespace
}  // namespace oru::ui
