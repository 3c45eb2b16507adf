// One search at a time over the scanner's search calls, run from the window's event loop.
//
// The scanner searches on threads of its own. The session sleeps on the scanner's progress
// descriptor and looks at the search when there is news, but never more often than every
// kLookMs: while news keeps coming it looks on a timer, and once a look finds nothing new it
// sleeps on the descriptor again. A look is cheap (it takes the files found since the last one);
// what the user sees (the new rows in one batch, the folder being searched) changes at most every
// kShowMs, as redrawing the window costs far more than looking. The end of the search is shown
// at once. The thread that owns the session is thus idle between looks and free for the user.
// (Without a descriptor it looks every kLookMs.)
//
// The scanner runs one search for the whole program, so one session works at a time. Its options
// (case, hidden and system files) are the scanner's own and apply as they are when a search
// starts. Others may watch the same descriptor: the session never relies on being the one that
// hears of news, as it looks once more at the end of every pause.
#pragma once

#include "search/SearchResults.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

#include <cstdint>
#include <vector>

namespace ketra {

class SearchSession : public QObject {
    Q_OBJECT
public:
    // The least time between two looks at the scanner (at most 40 looks a second), and between
    // two batches of rows shown (at most 10 a second).
    static constexpr int kLookMs = 25;
    static constexpr int kShowMs = 100;

    explicit SearchSession(QObject* parent = nullptr);
    // A search still running is stopped.
    ~SearchSession() override;

    // Empties the results and starts searching `folder` and everything below it for files whose
    // name contains `name` (unless empty) and whose content contains `text` (unless empty), of at
    // least `lower` and at most `upper` bytes (-1: no bound). A search still running is stopped
    // first and its results are dropped. A folder that can't be read finds nothing: the search
    // ends at the first look.
    void start(const QByteArray& folder, const QString& name, const QString& text, double lower = -1,
               double upper = -1);
    // Asks the running search to stop. It ends (finished) as soon as the scanner has stopped, with
    // every file the scanner found until then in the results.
    void stop();
    bool running() const { return m_running; }

    // How many bytes of the folder being searched `progress` names (its end is kept).
    void setProgressWidth(int bytes) { m_progressWidth = bytes; }

    SearchResultsModel& results() { return m_results; }
    const SearchResultsModel& results() const { return m_results; }

signals:
    // The scanner moved on: `folder` is the folder it searches now (shortened to the progress
    // width); new results, if any, are in the model already.
    void progress(const QString& folder);
    // The search has ended (everything searched, or stopped); every file found is in the model.
    void finished();

private:
    // News on the descriptor: a look now, then a pause.
    void wake();
    // The end of a pause: a look, then another pause while news keeps coming, or a sleep on the
    // descriptor once there is none.
    void pauseEnded();
    // Takes what the scanner has to report, and shows it when due; returns NextFind's answer (0
    // once the search ended).
    int look();
    // Takes the scanner's results from the first not yet taken up to `count`.
    void takeResults(std::int32_t count);
    // The results taken since the last batch into the model, and the folder being searched.
    void show();
    QByteArray bytes(std::int32_t (*get)(std::int32_t, char*, std::int32_t), std::int32_t index);

    QTimer m_pause;                        // single shot: the next look
    QSocketNotifier* m_progress = nullptr; // the scanner's progress descriptor (a child)
    bool m_running = false;
    SearchResultsModel m_results;
    std::int32_t m_listed = 0;         // results taken from the scanner
    std::vector<SearchResult> m_taken; // taken, not yet in the model
    QString m_folder;                  // the folder being searched
    bool m_news = false;               // something taken that was not shown yet
    QElapsedTimer m_sinceShown;
    int m_progressWidth = 80;
    std::vector<char> m_buffer = std::vector<char>(4096); // grows for longer texts
    QByteArray m_lastFolder; // the folder of the row listed last, whose bytes the next rows share
};

} // namespace ketra
