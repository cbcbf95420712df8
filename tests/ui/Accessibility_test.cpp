// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader gets from the window through Qt's accessibility: every control a name and
// a description under its right role, the listing as a table whose cells, titles and selected
// rows are the model's, and icons that stay sharp on a screen scaled to 200 %.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QPalette>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "ui/Browse.h"
#include "ui/Icons.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

TEST(AccessibilityTest, EveryControlHasANameADescriptionAndItsRole) {
    TMainFrm w({});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const struct {
        const char* control;
        QAccessible::Role role;
    } cases[] = {
        {"BtnNewFile", QAccessible::Button},      {"BtnOpenFile", QAccessible::Button},
        {"BtnAddFile", QAccessible::Button},      {"BtnDelete", QAccessible::Button},
        {"BtnBrowse", QAccessible::Button},       {"BtnExtract", QAccessible::Button},
        {"BtnBuildExe", QAccessible::Button},     {"ToolButton1", QAccessible::Button},
        {"ToolBar1", QAccessible::ToolBar},       {"DriveComboBox1", QAccessible::ComboBox},
        {"DirectoryListBox1", QAccessible::List}, {"FileListBox1", QAccessible::List},
        {"tv", QAccessible::Tree},                {"DBGrid1", QAccessible::Table},
        {"FindEdit", QAccessible::EditableText},  {"WholeArchive", QAccessible::CheckBox},
        {"FolderStatus", QAccessible::StaticText}, {"SelectionStatus", QAccessible::StaticText},
        {"OutcomeStatus", QAccessible::StaticText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        QWidget* widget = control<QWidget>(w, c.control);
        ASSERT_NE(widget, nullptr);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), c.role);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty());
        if (widget->objectName() != u"ToolBar1") {
            EXPECT_FALSE(a->text(QAccessible::Description).trimmed().isEmpty());
        }
    }
    // Nothing focusable is left without a name (a control added later must say what it is).
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->focusPolicy() == Qt::NoFocus || widget->isWindow()) continue;
        if (qobject_cast<QAbstractScrollArea*>(widget->parentWidget())) continue;  // a view's viewport
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
}

TEST(AccessibilityTest, TheViewersControlsSayWhatTheyShow) {
    TfmBrowse viewer(nullptr);
    for (const bool text : {false, true}) {
        if (text) {
            viewer.writePlainText(QStringLiteral("words"));
        } else {
            viewer.writeDocument(QStringLiteral("<b>x</b>"));
        }
        viewer.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
        QWidget* shown = text ? static_cast<QWidget*>(viewer.TextView1) : viewer.WebBrowser1;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(shown);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << text;
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << text;
    }
    viewer.describeFile(QStringLiteral("x is not a text file"));
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(viewer.OpenButton1);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_FALSE(button->text(QAccessible::Name).isEmpty());
    EXPECT_FALSE(button->text(QAccessible::Description).isEmpty());
}

TEST(AccessibilityTest, TheListingReadsAsATableOfTheModelsRows) {
    TempDir tmp;
    writeFile(tmp / "src/docs/d.txt", "d");
    writeFile(tmp / "src/a.txt", std::string(1500, 'a'));
    writeFile(tmp / "src/b.txt", "b");
    makeArchive(tmp / "t.oru", {tmp / "src/docs", tmp / "src/a.txt", tmp / "src/b.txt"});
    TMainFrm w({});
    OpenDialog::answerWith([&] { return std::optional<std::string>(tmp / "t.oru"); });
    w.BtnOpenFileClick();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TDBGrid* grid = DBGrid1(w);
    const QAbstractItemModel* shown = grid->model();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(grid);
    ASSERT_NE(a, nullptr);
    QAccessibleTableInterface* table = a->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), shown->rowCount());
    ASSERT_EQ(table->columnCount(), CatalogModel::ColumnCount);
    for (int c = 0; c < table->columnCount(); ++c) {
        EXPECT_EQ(table->columnDescription(c), shown->headerData(c, Qt::Horizontal).toString()) << c;
        for (int r = 0; r < table->rowCount(); ++r) {
            QAccessibleInterface* cell = table->cellAt(r, c);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->text(QAccessible::Name), shown->index(r, c).data().toString()) << r << "," << c;
        }
    }
    // Selecting a row selects it whole, as the reader announces it.
    grid->clickRow(1, false);
    EXPECT_EQ(table->selectedRowCount(), 1);
    EXPECT_TRUE(table->isRowSelected(1));
    EXPECT_EQ(table->selectedCellCount(), CatalogModel::ColumnCount);
}

// No colour is written by hand: under a dark palette the window is dark and its text light.
// With ORU_SCREENSHOT_DIR set, the picture goes there as window-dark.png (scripts/screenshots).
TEST(AccessibilityTest, TheWindowFollowsADarkPalette) {
    TempDir tmp;
    writeFile(tmp / "src/docs/d.txt", "d");
    writeFile(tmp / "src/notes.txt", std::string(2000, 'n'));
    makeArchive(tmp / "dark.oru", {tmp / "src/docs", tmp / "src/notes.txt"});
    const QPalette before = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    dark.setColor(QPalette::Mid, QColor(0x44, 0x44, 0x44));
    QApplication::setPalette(dark);
    {
        TMainFrm w({});
        OpenDialog::answerWith([&] { return std::optional<std::string>(tmp / "dark.oru"); });
        w.BtnOpenFileClick();
        DirectoryListBox1(w)->setDirectory(QString::fromStdString(tmp / "src"));
        w.resize(900, 620);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        DBGrid1(w)->clickRow(1, false);
        QCoreApplication::processEvents();
        const QImage picture = w.grab().toImage();
        if (const char* dir = std::getenv("ORU_SCREENSHOT_DIR"))
            picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/window-dark.png"));
        // The listing's empty part shows the palette's base; its rows hold light text.
        QWidget* listing = DBGrid1(w)->viewport();
        const QPoint empty = listing->mapTo(&w, QPoint(listing->width() / 2, listing->height() - 5));
        const qreal ratio = picture.devicePixelRatio();
        EXPECT_EQ(picture.pixelColor(empty * ratio), dark.color(QPalette::Base));
        const QRect firstRow = DBGrid1(w)->visualRect(DBGrid1(w)->model()->index(0, 0));
        int light = 0;
        for (int x = firstRow.left(); x < firstRow.right(); ++x)
            for (int y = firstRow.top(); y < firstRow.bottom(); ++y)
                if (picture.pixelColor(listing->mapTo(&w, QPoint(x, y)) * ratio).lightness() > 180) ++light;
        EXPECT_GT(light, 10);
    }
    QApplication::setPalette(before);
}

TEST(AccessibilityTest, ToolbarIconsHaveTwiceTheirPixelsForScreensScaledTo200Percent) {
    for (int image : {0, 2, 4, 6, 8, 10, 14, 16}) {
        const QIcon icon = icons::toolbarImage(image);
        const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(sharp.size(), QSize(32, 32)) << image;
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0) << image;
    }
    for (const QIcon& icon : {icons::folder(), icons::file(), icons::program(), icons::folderOpen()})
        EXPECT_EQ(icon.pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32));
}

}  // namespace
}  // namespace oru::ui
