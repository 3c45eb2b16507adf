#include "colours/BarColoursDialog.h"
#include "widgets/Controls.h"
#include "widgets/FitText.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Design sizes (twips) the resize rule reads.
constexpr double kDesignWidth = 4235;  // so that "Close" stands at its design left, 3360
constexpr double kDesignHeight = 4355; // and top, 3960
constexpr double kFrameHeight = 975;
constexpr double kBottomButtonWidth = 855;
constexpr double kBottomButtonHeight = 375;
constexpr double kRedColumn = 500, kGreenColumn = 700, kBlueColumn = 500;

enum Column { TypeColumn, RedColumn, GreenColumn, BlueColumn };

// A channel as a box holds it: a whole number, rounded; nothing when the text is no number.
std::optional<int> channelValue(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return static_cast<int>(std::clamp(std::round(v), -1e6, 1e6));
}

} // namespace

frmbarCols::frmbarCols(ExtColourTable& table, const QString& path, QWidget* parent)
    : QDialog(parent), m_table(table), m_path(path) {
    setObjectName(QStringLiteral("frmbarCols"));
    setWindowTitle(tr("Bar Colours"));
    setModal(false);

    auto button = [](QWidget* parent, const char* name, const QString& caption) {
        QPushButton* b = ketra::makeButton(parent, name, caption);
        b->setAutoDefault(false);
        return b;
    };
    const auto edit = [](QWidget* parent, const char* name) { return ketra::makeEdit(parent, name); };
    const auto label = &ketra::makeLabel;
    const auto place = &ketra::placeInTwips;

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    Label1 = label(Frame1, "Label1", tr("Red"));
    red = edit(Frame1, "red");
    Label2 = label(Frame1, "Label2", tr("Green"));
    green = edit(Frame1, "green");
    Label3 = label(Frame1, "Label3", tr("Blue"));
    blue = edit(Frame1, "blue");
    cmdOk = button(Frame1, "cmdOk", tr("Ok"));
    cmdOk->setDefault(true); // Enter in a box stores the row
    cmdCancel = button(Frame1, "cmdCancel", tr("Cancel"));
    txtExt = edit(Frame1, "txtExt");
    cmdAdd = button(Frame1, "cmdAdd", tr("Add New"));
    cmdDelete = button(Frame1, "cmdDelete", tr("Delete"));
    cmdEsc = button(this, "cmdEsc", tr("Cancel"));
    cmdApply = button(this, "cmdApply", tr("Apply"));
    cmdClose = button(this, "cmdClose", tr("Close"));
    cmdEsc->setEnabled(false);
    cmdApply->setEnabled(false);

    place(Label1, 40, 120, 375, 255);
    place(red, 400, 140, 375, 285);
    place(Label2, 840, 120, 440, 255);
    place(green, 1320, 140, 375, 285);
    place(Label3, 1800, 120, 375, 255);
    place(blue, 2160, 120, 375, 285);
    for (QWidget* caption : {Label1, Label2, Label3})
        ketra::FitFont(caption);
    for (QLineEdit* channel : {red, green, blue})
        ketra::FitFont(channel, QStringLiteral("255"));
    place(cmdOk, 2640, 140, 375, 255);
    place(cmdCancel, 3120, 140, 735, 255);
    place(txtExt, 120, 550, 2055, 285);
    place(cmdAdd, 2280, 600, 855, 255);
    place(cmdDelete, 3240, 600, 615, 255);
    for (QPushButton* b : {cmdEsc, cmdApply, cmdClose})
        b->resize(twipsX(kBottomButtonWidth), twipsY(kBottomButtonHeight));
    Frame1->resize(Frame1->width(), twipsY(kFrameHeight));

    // Assistive technology reads a colour box by its label, the rest by a name of its own (two
    // buttons say "Cancel": one undoes the row's edit, the other leaves the changes unapplied).
    Label1->setBuddy(red);
    Label2->setBuddy(green);
    Label3->setBuddy(blue);
    ListView1->setAccessibleName(tr("File type colours"));
    txtExt->setAccessibleName(tr("File type"));
    cmdOk->setAccessibleName(tr("Store the row"));
    cmdCancel->setAccessibleName(tr("Undo the row's changes"));
    cmdEsc->setAccessibleName(tr("Cancel the changes"));

    connect(ListView1, &QTreeWidget::itemClicked, this, &frmbarCols::ListView1_Click);
    connect(ListView1, &QTreeWidget::currentItemChanged, this, &frmbarCols::ListView1_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmbarCols::cmdAdd_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmbarCols::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmbarCols::cmdCancel_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmbarCols::cmdDelete_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmbarCols::cmdApply_Click);
    connect(cmdEsc, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    const QSize design(twipsX(kDesignWidth), twipsY(kDesignHeight));
    setMinimumSize(design);
    resize(design);
    Form_Load();
}

int frmbarCols::twipsX(double twips) const {
    return ketra::twipsToPixelsX(*this, twips);
}

int frmbarCols::twipsY(double twips) const {
    return ketra::twipsToPixelsY(*this, twips);
}

double frmbarCols::pixelsToTwipsX(int pixels) const {
    return ketra::pixelsToTwipsX(*this, pixels);
}

double frmbarCols::pixelsToTwipsY(int pixels) const {
    return ketra::pixelsToTwipsY(*this, pixels);
}

void frmbarCols::Form_Load() {
    ListView1->clear();
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({tr("File type"), tr("Red"), tr("Green"), tr("Blue")});
    ListView1->setColumnWidth(RedColumn, twipsX(kRedColumn));
    ListView1->setColumnWidth(GreenColumn, twipsX(kGreenColumn));
    ListView1->setColumnWidth(BlueColumn, twipsX(kBlueColumn));
    FillColourList();
    if (ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
    ListView1_Click();
    Form_Resize();
}

void frmbarCols::FillColourList() {
    if (m_table.count() < 1) {
        AddColourRow(QStringLiteral("folder"), 255, 255, 0);
        AddColourRow(QStringLiteral("txt"), 0, 0, 255);
        AddColourRow(QStringLiteral("c"), 255, 0, 0);
        return;
    }
    for (const ExtColour& r : m_table.records())
        AddColourRow(r.Ext, r.Red, r.Green, r.Blue);
}

namespace {

void setRow(QTreeWidgetItem* row, const QString& ext, int r, int g, int b) {
    row->setText(TypeColumn, ext);
    row->setText(RedColumn, QString::number(r));
    row->setText(GreenColumn, QString::number(g));
    row->setText(BlueColumn, QString::number(b));
    const QColor colour(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
    for (int c = TypeColumn; c <= BlueColumn; ++c)
        row->setForeground(c, colour);
}

} // namespace

void frmbarCols::AddColourRow(const QString& ext, int r, int g, int b) {
    setRow(new QTreeWidgetItem(ListView1), ext, r, g, b);
}

void frmbarCols::ListView1_Click() {
    m_addingNew = false;
    const QTreeWidgetItem* row = ListView1->currentItem();
    if (!row)
        return;
    red->setText(row->text(RedColumn));
    green->setText(row->text(GreenColumn));
    blue->setText(row->text(BlueColumn));
    txtExt->setText(row->text(TypeColumn));
}

void frmbarCols::cmdAdd_Click() {
    m_addingNew = true;
    txtExt->setText(QStringLiteral("new"));
    for (QLineEdit* box : {red, green, blue})
        box->setText(QStringLiteral("0"));
    txtExt->selectAll();
    txtExt->setFocus();
}

void frmbarCols::cmdOk_Click() {
    const QString key = txtExt->text();
    QTreeWidgetItem* selected = ListView1->currentItem();
    QTreeWidgetItem* target = selected && selected->text(TypeColumn) == key ? selected : nullptr;
    for (int i = 0; !target && i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->text(TypeColumn) == key)
            target = ListView1->topLevelItem(i);
    if (!target && !m_addingNew)
        target = selected; // renamed
    if (!target)
        target = new QTreeWidgetItem(ListView1);

    int values[3] = {0, 0, 0};
    QLineEdit* boxes[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
        const std::optional<int> v = channelValue(boxes[i]->text());
        values[i] = std::clamp(v.value_or(0), 0, 255);
        if (!v || *v != values[i])
            boxes[i]->setText(QString::number(values[i]));
    }
    setRow(target, key, values[0], values[1], values[2]);
    cmdApply->setEnabled(true);
    cmdEsc->setEnabled(true);
}

void frmbarCols::cmdCancel_Click() {
    ListView1_Click();
}

void frmbarCols::cmdDelete_Click() {
    QTreeWidgetItem* row = ListView1->currentItem();
    if (!row || !row->isSelected())
        return;
    delete row;
    // A deletion is a change to apply like an edit.
    cmdApply->setEnabled(true);
    cmdEsc->setEnabled(true);
}

void frmbarCols::cmdApply_Click() {
    std::vector<ExtColour> records;
    records.reserve(static_cast<std::size_t>(ListView1->topLevelItemCount()));
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        records.push_back({row->text(TypeColumn), row->text(RedColumn).toInt(),
                           row->text(GreenColumn).toInt(), row->text(BlueColumn).toInt()});
    }
    m_table.setRecords(std::move(records));
    const ExtColourSaveResult saved = SaveExtColours(m_table, m_path);
    if (!saved.ok)
        QMessageBox::warning(this, QStringLiteral("Ketra"),
                             tr("The colours are used, but they could not be saved.\n%1").arg(saved.error));
    emit applied();
}

void frmbarCols::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmbarCols::Form_Resize() {
    if (!cmdClose)
        return;
    const double W = pixelsToTwipsX(width()), H = pixelsToTwipsY(height());
    auto rect = [this](double left, double top, double width, double height) {
        const int x0 = twipsX(left), y0 = twipsY(top);
        return QRect(x0, y0, std::max(0, twipsX(left + width) - x0), std::max(0, twipsY(top + height) - y0));
    };
    const double closeTop = H - kBottomButtonHeight - 20;
    const double closeLeft = W - kBottomButtonWidth - 20;
    const double listWidth = W - 80;
    const double listHeight = H - kBottomButtonHeight - 100 - kFrameHeight;
    cmdClose->setGeometry(rect(closeLeft, closeTop, kBottomButtonWidth, kBottomButtonHeight));
    ListView1->setGeometry(rect(10, 10, listWidth, listHeight));
    Frame1->setGeometry(rect(10, 10 + listHeight - 50, listWidth, kFrameHeight));
    double channelColumns = 0;
    for (int c : {RedColumn, GreenColumn, BlueColumn})
        channelColumns += pixelsToTwipsX(ListView1->columnWidth(c));
    ListView1->setColumnWidth(TypeColumn, std::max(0, twipsX(listWidth - 370 - channelColumns)));
    const double applyLeft = closeLeft - kBottomButtonWidth - 20;
    cmdApply->setGeometry(rect(applyLeft, closeTop, kBottomButtonWidth, kBottomButtonHeight));
    cmdEsc->setGeometry(
        rect(applyLeft - kBottomButtonWidth - 20, closeTop, kBottomButtonWidth, kBottomButtonHeight));
}

#include "moc_BarColoursDialog.cpp"
