// SPDX-License-Identifier: GPL-3.0-or-later
// The window's everyday layout: a first size that fits the screen, size and panes remembered in
// WinOru's own settings, no column title lost at the smallest size, and Tab that goes from pane to
// pane without stopping on each toolbar button.

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTest>
#include <set>

#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

class WindowLayoutTest : public ::testing::Test {
protected:
    TempDir tmp;
    void SetUp() override { QSettings().remove(QStringLiteral("window")); }
    void TearDown() override { QSettings().remove(QStringLiteral("window")); }
};

TEST_F(WindowLayoutTest, FirstSizeIsTwoThirdsOfTheScreenThenTheSizeLeftLastTime) {
    // The tests' settings are Qt's test folders, under the program's own organization.
    EXPECT_TRUE(QSettings().fileName().endsWith(QStringLiteral("/WinOru/WinOru.conf"))) << QSettings().fileName().toStdString();
    EXPECT_TRUE(QSettings().fileName().startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
    EXPECT_TRUE(QStandardPaths::isTestModeEnabled());

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    int upper = 0;  // the upper pane's height as left
    {
        TMainFrm w({});
        EXPECT_EQ(w.size(), (screen.size() * 2 / 3).expandedTo(w.minimumSizeHint()));
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.resize(w.minimumSizeHint() + QSize(60, 40));
        control<QSplitter>(w, "Splitter3")->setSizes({120, 400});
        upper = control<QSplitter>(w, "Splitter3")->sizes().front();
        DBGrid1(w)->horizontalHeader()->resizeSection(CatalogModel::ColOriginalSize, 150);
        QCoreApplication::processEvents();
        w.close();
    }
    TMainFrm again({});
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.size(), again.minimumSizeHint() + QSize(60, 40));
    EXPECT_EQ(control<QSplitter>(again, "Splitter3")->sizes().front(), upper);
    EXPECT_EQ(DBGrid1(again)->horizontalHeader()->sectionSize(CatalogModel::ColOriginalSize), 150);
}

TEST_F(WindowLayoutTest, TheSmallestWindowShowsEveryColumnTitleWhole) {
    writeFile(tmp / "src/a-file-with-a-long-name.txt", std::string(123456, 'a'));
    makeArchive(tmp / "s.oru", {tmp / "src/a-file-with-a-long-name.txt"});
    TMainFrm w({});
    OpenDialog::answerWith([&] { return std::optional<std::string>(tmp / "s.oru"); });
    w.BtnOpenFileClick();
    w.resize(1, 1);  // as small as it goes
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    QHeaderView* header = DBGrid1(w)->horizontalHeader();
    ASSERT_TRUE(header->isVisible());
    EXPECT_GE(header->height(), header->sizeHint().height());
    for (int c = 0; c < CatalogModel::ColumnCount; ++c) {
        EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
        EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c), DBGrid1(w)->viewport()->width()) << c;
    }
}

TEST_F(WindowLayoutTest, TabGoesFromPaneToPaneAndNeverToAToolbarButton) {
    TMainFrm w({});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    control<QWidget>(w, "DriveComboBox1")->setFocus();
    std::vector<std::string> stops;
    std::set<QWidget*> seen;
    for (int i = 0; i < 40 && seen.insert(QApplication::focusWidget()).second; ++i) {
        stops.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (QToolButton* button : ToolBar1(w)->findChildren<QToolButton*>()) {
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
        EXPECT_FALSE(seen.count(button)) << button->objectName().toStdString();
    }
    for (const char* pane : {"DriveComboBox1", "DirectoryListBox1", "FileListBox1", "tv", "DBGrid1", "FindEdit"})
        EXPECT_NE(std::find(stops.begin(), stops.end(), pane), stops.end()) << pane;
    EXPECT_LE(stops.size(), 10u);
}

}  // namespace
}  // namespace oru::ui
