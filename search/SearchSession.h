// One search at a time over the scanner's search calls, run from the window's event loop.
//
// The scanner searches on threads of its own; the session looks at its progress a few dozen times
// a second from a timer, so the thread that owns the session sleeps in its event loop between
// looks and stays free for the user. Each look takes every file found since the last one into the
// results model in one batch, and names the folder being searched.
//
// The scanner runs one search for the whole program, so one session works at a time. Its options
// (case, hidden and system files) are the scanner's own and apply as they are when a search
// starts.
#pragma once

#include "search/SearchResults.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

namespace ketra {

class SearchSession : public QObject {
    Q_OBJECT
public:
    // How often the session looks at the scanner while a search runs.
    static constexpr int kPollMs = 30;

    explicit SearchSession(QObject* parent = nullptr);
    // A search still running is stopped.
    ~SearchSession() override;

    // Empties the results and starts searching `folder` and everything below it for files whose
    // name contains `name` (unless empty) and whose content contains `text` (unless empty), of at
    // least `lower` and at most `upper` bytes (-1: no bound). A search still running is stopped
    // first and its results are dropped. A folder that can't be read finds nothing: the search
    // ends at the first look.
    void start(const QString& folder, const QString& name, const QString& text, double lower = -1,
               double upper = -1);
    // Asks the running search to stop. It ends (finished) as soon as the scanner has stopped, with
    // every file the scanner found until then in the results.
    void stop();
    bool running() const { return m_timer.isActive(); }

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
    void poll();
    // Takes the scanner's results from the first not yet listed up to `count` into the model.
    void takeResults(std::int32_t count);
    QString text(std::int32_t (*get)(std::int32_t, char*, std::int32_t), std::int32_t index);

    QTimer m_timer;
    SearchResultsModel m_results;
    std::int32_t m_listed = 0; // results taken into the model
    int m_progressWidth = 80;
    std::vector<char> m_buffer = std::vector<char>(4096); // grows for longer texts
    QByteArray m_lastFolderBytes;                         // the folder of the row listed last,
    QString m_lastFolder;                                 // whose text the next rows may share
};

} // namespace ketra
