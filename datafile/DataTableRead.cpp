#include "datafile/DataTableRead.h"

#include <QMetaObject>
#include <QPointer>

namespace ketra {

DataTableRead::DataTableRead(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
}

DataTableRead::~DataTableRead() {
    if (m_stop)
        m_stop->store(true);
    m_pool.waitForDone();
}

void DataTableRead::start(const QByteArray& path, const QString& mediaFolder) {
    if (m_stop)
        m_stop->store(true);
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_running = true;
    const int request = ++m_request;
    m_pool.start([this, request, path, mediaFolder, stop = m_stop] {
        auto outcome = std::make_shared<LoadedDataTable>();
        outcome->result = ReadDataTable(path, outcome->table, stop.get());
        if (outcome->result.ok() && !stop->load())
            outcome->textures = LoadDataTableTextures(outcome->table, mediaFolder);
        // Handed over on this object's thread; dropped with it when it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, request, outcome] {
                if (request != m_request)
                    return; // a newer read was started meanwhile
                m_running = false;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
}

void DataTableRead::stop() {
    if (m_stop)
        m_stop->store(true);
}

} // namespace ketra

#include "moc_DataTableRead.cpp"
