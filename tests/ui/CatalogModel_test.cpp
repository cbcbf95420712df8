// SPDX-License-Identifier: GPL-3.0-or-later
// The listing's model: it mirrors the catalog's view through every kind of change, passes Qt's
// model checks, formats the cells, and keeps its current row and the catalog's the same.

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "catalog/CatalogTable.h"
#include "platform/Clock.h"
#include "ui/CatalogModel.h"
#include "UiTestSupport.h"

namespace oru::ui {
namespace {

void addRow(CatalogTable& t, const std::string& name, const std::string& parent, int type,
            int size = 0, double date = 45293.5) {
    t.Append();
    t.SetText("FileName", name);
    t.SetText("ParentName", parent);
    t.SetInteger("FileType", type);
    if (type == 1) {
        t.SetInteger("OriginalSize", size);
        t.SetInteger("StoredSize", size / 2);
    }
    t.SetDateTime("CheckinDate", date);
    t.Post();
}

std::vector<std::string> modelNames(const CatalogModel& m) {
    std::vector<std::string> names;
    for (int r = 0; r < m.rowCount(); ++r)
        names.push_back(m.data(m.index(r, CatalogModel::ColFileName)).toString().toStdString());
    return names;
}

std::vector<std::string> viewNames(const CatalogTable& t) {
    std::vector<std::string> names;
    for (int i = 0; i < t.ViewSize(); ++i) names.push_back(t.TextAt(i, "FileName"));
    return names;
}

class CatalogModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.SetOrdering("FileType;FileName");
        model.bind(&table);
    }
    CatalogTable table;
    CatalogModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(CatalogModelTest, FollowsEveryKindOfChangeOfTheCatalog) {
    // Each step changes the catalog through the bound cursor or another cursor; afterwards the
    // model must show exactly the catalog's view (Qt's tester checks the signals in between).
    addRow(table, "c.txt", "", 1, 10);
    addRow(table, "a.txt", "", 1, 20);
    addRow(table, "docs", "", 0);
    addRow(table, "inner.txt", "docs", 1, 30);
    EXPECT_EQ(modelNames(model), viewNames(table));
    EXPECT_EQ(modelNames(model), (std::vector<std::string>{"docs", "a.txt", "c.txt", "inner.txt"}));

    // An edit that moves the row within the ordering.
    table.First();
    table.Next();  // a.txt
    table.Edit();
    table.SetText("FileName", "z.txt");
    table.Post();
    EXPECT_EQ(modelNames(model), viewNames(table));

    // An edit that keeps the row's place.
    table.Edit();
    table.SetInteger("OriginalSize", 99);
    table.Post();
    EXPECT_EQ(model.data(model.index(table.RecordNumber() - 1, CatalogModel::ColOriginalSize)).toString(),
              QStringLiteral("99"));

    // A delete through a clone reaches the bound cursor's view.
    {
        CatalogTable clone;
        clone.CloneFrom(table);
        clone.First();
        clone.DeleteCurrent();
    }
    EXPECT_EQ(modelNames(model), viewNames(table));

    // A filter builds the view anew.
    table.SetFilterText(CatalogTable::parentFilter(""));
    table.SetFiltered(true);
    EXPECT_EQ(modelNames(model), (std::vector<std::string>{"c.txt", "z.txt"}));

    // While suspended nothing is shown; resuming shows everything at once.
    table.SuspendNotifications();
    addRow(table, "b.txt", "", 1, 5);
    EXPECT_EQ(model.rowCount(), 2);
    table.ResumeNotifications();
    EXPECT_EQ(modelNames(model), (std::vector<std::string>{"b.txt", "c.txt", "z.txt"}));

    model.bind(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(CatalogModelTest, FoldersShowNoSizesAndFilesSizesWithGroupSeparators) {
    addRow(table, "docs", "", 0);
    addRow(table, "big.bin", "", 1, 1234567);
    addRow(table, "empty.txt", "", 1, 0);
    auto cell = [this](int row, int column) { return model.data(model.index(row, column)).toString(); };
    EXPECT_EQ(cell(0, CatalogModel::ColFileName), QStringLiteral("docs"));
    EXPECT_EQ(cell(0, CatalogModel::ColOriginalSize), QString());
    EXPECT_EQ(cell(0, CatalogModel::ColStoredSize), QString());
    EXPECT_EQ(cell(1, CatalogModel::ColOriginalSize), QStringLiteral("1.234.567"));
    EXPECT_EQ(cell(1, CatalogModel::ColStoredSize), QStringLiteral("617.283"));
    EXPECT_EQ(cell(2, CatalogModel::ColOriginalSize), QStringLiteral("0"));

    const QStringList titles{"檔名", "大小", "壓縮後", "封裝日期"};
    const int widths[] = {152, 73, 78, 75};
    for (int c = 0; c < CatalogModel::ColumnCount; ++c) {
        EXPECT_EQ(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), titles[c]);
        EXPECT_EQ(CatalogModel::columnWidth(c), widths[c]);
    }
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(CatalogModelTest, NamesAreShownFromTheirBig5Bytes) {
    addRow(table, "\xA4\xA4\xA4\xE5.txt", "", 1, 1);  // 中文.txt in Big5
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("中文.txt"));
}

TEST(CatalogModelFormat, DatesUseShortDateAndLongTimeAndDropMidnight) {
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        int h, m, s, ms;
        const char* expected;
    } cases[] = {
        {15, 4, 5, 0, "02.01.24 15:04:05"},
        {0, 0, 0, 0, "02.01.24"},
        {0, 0, 0, 400, "02.01.24"},  // only hours, minutes and seconds count
        {0, 0, 1, 0, "02.01.24 00:00:01"},
    };
    for (const Case& c : cases) {
        const double date = oru::clock::fromLocal(2024, 1, 2, c.h, c.m, c.s, c.ms);
        EXPECT_EQ(CatalogModel::formatDateTime(date, german).toStdString(), c.expected);
    }
    // A locale whose long time names a day period and a zone: neither is shown.
    const double date = oru::clock::fromLocal(2024, 1, 2, 15, 4, 5);
    EXPECT_EQ(CatalogModel::formatDateTime(date, QLocale(QLocale::Chinese, QLocale::Taiwan)).toStdString(),
              "2024/1/2 15:04:05");
}

TEST_F(CatalogModelTest, CurrentRowIsTheCatalogsBothWays) {
    for (const char* name : {"a", "b", "c"}) addRow(table, name, "", 1, 1);
    QSignalSpy spy(&model, &CatalogModel::catalogCurrentChanged);
    model.setCurrentRow(2);
    EXPECT_EQ(table.RecordNumber(), 3);
    table.First();
    ASSERT_FALSE(spy.isEmpty());
    EXPECT_EQ(spy.last().at(0).toInt(), 0);
    EXPECT_EQ(model.currentRow(), 0);
    ASSERT_TRUE(model.currentBookmark().has_value());
}

}  // namespace
}  // namespace oru::ui
