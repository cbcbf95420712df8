// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader gets from the window through Qt's accessibility: every control a name and
// a description under its right role, the listing as a table whose cells, titles and selected
// rows are the model's, and icons that stay sharp on a screen scaled to 200 %.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

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
