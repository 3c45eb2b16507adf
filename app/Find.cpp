// The find pane: a search of the folder named by the address box and everything below it, by part
// of the file name, by text inside the files and by size bounds; the results listed while the
// scanner searches, Stop, and going to a result.
//
// The search runs beside the window: the session looks at the scanner from a timer, so the window
// answers the user throughout (the pane may even be hidden while it runs). Its progress line takes
// the address box's place unless a folder load has it.
#include "GraphForm.h"
#include "core/Layout.h"
#include "folders/DetailsModel.h"
#include "folders/Paths.h"
#include "graph/GraphModel.h"
#include "search/FindRequest.h"
#include "search/SearchSession.h"
#include "widgets/FitText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>
#include <cmath>

void GraphForm::cmdFind_Click() {
    // A scan holds no file contents: only names and sizes are searched in it.
    const QString text = m_scanShown ? QString() : txtFindIn->text();
    const ketra::FindInput input{txtFind->text(),    text,         chkGT->isChecked(), txtGT->text(),
                                 chkLT->isChecked(), txtLT->text()};
    const ketra::FindPlan plan = ketra::PlanFind(input);
    using Outcome = ketra::FindPlan::Outcome;
    if (plan.outcome == Outcome::ReversedBounds) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ketra"),
                        ketra::ReversedBoundsMessage(txtGT->text(), txtLT->text()), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgFindBounds"));
        box.exec();
        return;
    }
    if (plan.outcome != Outcome::Search)
        return;

    // The scanner starts first and searches while the window shows the busy state (its first
    // look at the scanner comes from the event loop, after this).
    m_searchStopped = false;
    m_search->start(addressPath(), txtFind->text(), text, plan.lower, plan.upper);
    lblFindStatus->setText(tr("Searching..."));
    setCursor(Qt::BusyCursor); // the window works on, but is busy
    cmdStopSearch->show();
    cmdStopSearch->raise();
    LstFind->setToolTip(QString());
    prog->clear();
    searchProgress(QString());
    // The characters of a folder path that fit in the progress line.
    m_search->setProgressWidth(static_cast<int>(std::lround(pixelsToTwipsX(prog->width()) / 80.0)));
}

void GraphForm::cmdStopSearch_Click() {
    m_searchStopped = m_search->running();
    m_search->stop();
}

void GraphForm::searchProgress(const QString& folder) {
    if (busy())
        return; // the load's progress line has the address bar
    if (prog->isHidden()) {
        placeProgressOverAddress();
        prog->show();
    }
    adrLabel->setText(tr("Searching:"));
    if (!folder.isEmpty())
        prog->setText(folder);
}

void GraphForm::searchFinished() {
    cmdStopSearch->hide();
    lblFindStatus->setText(ketra::FoundText(m_search->results().rowCount(), m_searchStopped));
    lblFindStatus->setToolTip(lblFindStatus->text()); // also where a narrow pane cuts it
    if (!busy()) {
        prog->hide();
        adrLabel->setText(tr("Address:"));
    }
    unsetCursor();
}

void GraphForm::fitFindColumns(int first, int last) {
    // Names are measured one by one; a folder only when it is not the one of the row before
    // (results come folder by folder); the size by its largest count (digits are all as wide).
    const ketra::SearchResultsModel& results = m_search->results();
    const QByteArray* folderBefore = nullptr;
    int largest = -1;
    for (int row = first; row <= last; ++row) {
        const ketra::SearchResult& r = results.at(row);
        m_findFit[0] = std::max(m_findFit[0], ketra::CellWidthFor(*LstFind, ketra::displayText(r.name)));
        if (!folderBefore || *folderBefore != r.folder)
            m_findFit[1] =
                std::max(m_findFit[1], ketra::CellWidthFor(*LstFind, ketra::displayText(r.folder)));
        folderBefore = &r.folder;
        if (largest < 0 || r.size > results.at(largest).size)
            largest = row;
    }
    if (largest >= 0) {
        const QString size =
            results.data(results.index(largest, ketra::SearchResultsModel::SizeColumn)).toString();
        m_findFit[2] = std::max(m_findFit[2], ketra::CellWidthFor(*LstFind, size));
    }
    QHeaderView* header = LstFind->header();
    const int folder = std::max({twipsToPixelsX(ketra::design::kFolderColumnWidth), m_findFit[1],
                                 header->sectionSizeHint(ketra::SearchResultsModel::FolderColumn)});
    const int size = std::max({twipsToPixelsX(ketra::design::kSizeColumnWidth), m_findFit[2],
                               header->sectionSizeHint(ketra::SearchResultsModel::SizeColumn)});
    const int rule =
        ketra::findFilenameColumnWidth(static_cast<int>(std::lround(pixelsToTwipsX(LstFind->width()))),
                                       static_cast<int>(std::lround(pixelsToTwipsX(folder + size))));
    LstFind->setColumnWidth(ketra::SearchResultsModel::FolderColumn, folder);
    LstFind->setColumnWidth(ketra::SearchResultsModel::SizeColumn, size);
    LstFind->setColumnWidth(ketra::SearchResultsModel::FilenameColumn,
                            std::max({twipsToPixelsX(rule), m_findFit[0],
                                      header->sectionSizeHint(ketra::SearchResultsModel::FilenameColumn)}));
}

void GraphForm::chkGT_Click(bool checked) {
    txtGT->setEnabled(checked);
    if (checked)
        txtGT->setFocus();
}

void GraphForm::chkLT_Click(bool checked) {
    txtLT->setEnabled(checked);
    if (checked)
        txtLT->setFocus();
}

void GraphForm::LstFind_Click(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const ketra::SearchResult& r = m_search->results().at(index.row());
    LstFind->setToolTip(ketra::displayText(ketra::joinPath(r.folder, r.name)));
}

void GraphForm::LstFind_DblClick(const QModelIndex& index) {
    if (!index.isValid() || busy())
        return;
    const ketra::SearchResult result = m_search->results().at(index.row()); // the list may change meanwhile
    PushHistory(result.folder);
    setAddress(result.folder);
    selectNode([this, result] {
        // The item of that name in the folder now shown; none when the folder could not be shown.
        m_selectedEntry = 0;
        if (m_currentFolder == result.folder)
            selectItemNamed(result.name);
    });
}

void GraphForm::highlightDetailsRow(int entry) {
    // The list's rows are the entries, in their order.
    const QModelIndex row = m_detailsModel->index(entry - 1, ketra::DetailsModel::FilenameColumn);
    if (!row.isValid())
        return;
    m_detailsModel->setMarkedRow(row.row());
    ListView1->scrollTo(row);
    ListView1->setCurrentIndex(row);
}
