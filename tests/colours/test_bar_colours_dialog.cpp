// The dialog "Bar Colours" driven as a person does: rows clicked, boxes typed into, buttons
// pressed; what reaches the table and the colour file.
#include "colours/BarColoursDialog.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "gtest_qtest.h"
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class DialogTest : public ::testing::Test {
protected:
    void open(std::vector<ExtColour> records) {
        table.setRecords(std::move(records));
        dialog = std::make_unique<frmbarCols>(table, file);
        dialog->show();
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void clickRow(int row) {
        QTreeWidget* list = dialog->ListView1;
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }
    void type(QLineEdit* box, const QString& text) {
        QTest::mouseClick(box, Qt::LeftButton);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    // Every row as "key r g b".
    QStringList rows() const {
        QStringList out;
        for (int i = 0; i < dialog->ListView1->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = dialog->ListView1->topLevelItem(i);
            out << QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}.join(' ');
        }
        return out;
    }
    QByteArray saved() const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString file = dir.filePath("config/Ketra/ext.txt");
    ExtColourTable table;
    std::unique_ptr<frmbarCols> dialog;
};

} // namespace

TEST_F(DialogTest, NoTableProposesThreeRowsThatApplyWrites) {
    open({});
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Bar Colours"));
    for (const QLabel* caption : {dialog->Label1, dialog->Label2, dialog->Label3}) // not cut
        EXPECT_LE(caption->sizeHint().width(), caption->width()) << caption->text().toStdString();
    EXPECT_EQ(rows(), (QStringList{"folder 255 255 0", "txt 0 0 255", "c 255 0 0"}));
    EXPECT_EQ(dialog->ListView1->topLevelItem(2)->foreground(0).color(), QColor(255, 0, 0));
    EXPECT_EQ(dialog->txtExt->text(), QStringLiteral("folder")); // the first row, in the boxes
    EXPECT_FALSE(dialog->cmdApply->isEnabled());
    EXPECT_FALSE(dialog->cmdEsc->isEnabled());

    QSignalSpy applied(dialog.get(), &frmbarCols::applied);
    click(dialog->cmdOk);
    click(dialog->cmdApply);
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(saved(), QByteArray(" 3 \r\nfolder\r\n 255 \r\n 255 \r\n 0 \r\ntxt\r\n 0 \r\n 0 \r\n 255 \r\n"
                                  "c\r\n 255 \r\n 0 \r\n 0 \r\n"));
    EXPECT_EQ(table.colourFor("folder"), 0xFFFFFF00u);
    EXPECT_TRUE(dialog->isVisible()); // Apply leaves the dialog open

    // The resize rule: the list and the buttons follow the dialog's size.
    dialog->resize(dialog->width() + 100, dialog->height() + 60);
    const double px = dialog->logicalDpiX() / 1440.0; // pixels per twip
    EXPECT_NEAR(dialog->cmdClose->geometry().right() + 1, dialog->width() - 20 * px, 1);
    EXPECT_NEAR(dialog->cmdClose->geometry().bottom() + 1, dialog->height() - 20 * px, 1);
    EXPECT_EQ(dialog->cmdApply->y(), dialog->cmdClose->y());
    EXPECT_NEAR(dialog->ListView1->width(), dialog->width() - 80 * px, 1);
    EXPECT_EQ(dialog->Frame1->width(), dialog->ListView1->width());
}

TEST_F(DialogTest, OkStoresTheBoxesIntoTheRightRow) {
    open({{"folder", 255, 255, 0}, {"txt", 0, 0, 255}, {"c", 255, 0, 0}});
    struct Step {
        int row;         // row clicked first (-1: "Add New" instead)
        const char* key; // typed into the type box
        const char* r;   // typed into the channel boxes
        const char* g;
        const char* b;
        QStringList after; // the rows after "Ok"
    };
    const Step steps[] = {
        // An existing key after "Add New" updates that row.
        {-1, "c", "1", "", "300", {"folder 255 255 0", "txt 0 0 255", "c 1 0 255"}},
        // A new key after "Add New" adds a row; capitals are kept as typed.
        {-1, "PDF", "9", "9", "9", {"folder 255 255 0", "txt 0 0 255", "c 1 0 255", "PDF 9 9 9"}},
        // A new key on a selected row renames it.
        {1, "TXT", "0", "0", "255", {"folder 255 255 0", "TXT 0 0 255", "c 1 0 255", "PDF 9 9 9"}},
    };
    for (const Step& s : steps) {
        if (s.row < 0)
            click(dialog->cmdAdd);
        else
            clickRow(s.row);
        type(dialog->txtExt, s.key);
        type(dialog->red, s.r);
        type(dialog->green, s.g);
        type(dialog->blue, s.b);
        click(dialog->cmdOk);
        EXPECT_EQ(rows(), s.after) << s.key;
    }
    // The boxes say what was stored: the empty green is 0, the 300 was 255 (first step).
    clickRow(2);
    EXPECT_EQ(dialog->green->text(), QStringLiteral("0"));
    EXPECT_EQ(dialog->blue->text(), QStringLiteral("255"));

    click(dialog->cmdApply);
    EXPECT_EQ(table.colourFor("a.txt"), 0xFFFFFFFFu); // "TXT" never matches a name
    EXPECT_EQ(table.colourFor("a.PDF"), 0xFFFFFFFFu);
    EXPECT_EQ(table.colourFor("x.c"), 0xFF0100FFu);
}

TEST_F(DialogTest, DeleteThenCloseLeavesTableAndFile) {
    open({{"folder", 255, 255, 0}, {"txt", 0, 0, 255}});
    const std::vector<ExtColour> before = table.records();
    clickRow(0);
    click(dialog->cmdDelete);
    EXPECT_EQ(rows(), QStringList{"txt 0 0 255"});
    click(dialog->cmdClose);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(table.records(), before);
    EXPECT_FALSE(QFile::exists(file));
}
