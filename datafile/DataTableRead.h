// Reading a table off the window's thread: the file and its textures are read on a thread of the
// reader's own, and the result comes back as a signal on the thread that started it. The window
// is idle meanwhile, with no nested event loop.
#pragma once

#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace ketra {

// What one read gave: the result, and on Ok or TooFewCells the table (and on Ok its textures).
struct LoadedDataTable {
    DataTableResult result;
    DataTable table;
    DataTextures textures;
};

class DataTableRead : public QObject {
    Q_OBJECT
public:
    explicit DataTableRead(QObject* parent = nullptr);
    // Stops a read still running and waits for it, which a stopped read ends within one block.
    ~DataTableRead() override;

    // Starts reading `path` (see ReadDataTable); textures are looked for beside it, then in
    // `mediaFolder`. A read already running is stopped first and never reports.
    void start(const QByteArray& path, const QString& mediaFolder);
    // Stops the running read: it reports with the status Stopped.
    void stop();
    bool running() const { return m_running; }

signals:
    // The read started last has ended (also when it was stopped).
    void finished(const std::shared_ptr<ketra::LoadedDataTable>& read);

private:
    QThreadPool m_pool;
    std::shared_ptr<std::atomic<bool>> m_stop; // the running read's stop flag
    int m_request = 0;                         // the read started last; older ones are dropped
    bool m_running = false;
};

} // namespace ketra
