#include "search/SearchSession.h"

#include "treescan.h"

#include <algorithm>

namespace ketra {

SearchSession::SearchSession(QObject* parent) : QObject(parent) {
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &SearchSession::poll);
}

SearchSession::~SearchSession() {
    if (running())
        ResetFileTree();
}

void SearchSession::start(const QString& folder, const QString& name, const QString& text, double lower,
                          double upper) {
    m_results.clear();
    m_listed = 0;
    m_lastFolder.clear();
    m_lastFolderBytes.clear();
    FileGTE(lower);
    FileLTE(upper);
    // A folder the scanner can't read leaves it with no search: the first look sees it ended.
    FindStr(folder.toUtf8().constData(), name.toUtf8().constData(), text.toUtf8().constData());
    m_timer.start();
}

void SearchSession::stop() {
    if (running())
        ResetFileTree();
}

QString SearchSession::text(std::int32_t (*get)(std::int32_t, char*, std::int32_t), std::int32_t index) {
    for (;;) {
        const auto capacity = static_cast<std::int32_t>(m_buffer.size());
        const std::int32_t n = get(index, m_buffer.data(), capacity);
        // A text that filled the buffer may have been cut: read it again with room to spare.
        if (n < capacity - 4 || m_buffer.size() >= (std::size_t{1} << 24))
            return QString::fromUtf8(m_buffer.data(), std::max(n, 0));
        m_buffer.resize(m_buffer.size() * 4);
    }
}

void SearchSession::takeResults(std::int32_t count) {
    if (count <= m_listed)
        return;
    std::vector<SearchResult> batch;
    batch.reserve(static_cast<std::size_t>(count - m_listed));
    for (std::int32_t i = m_listed; i < count; ++i) {
        SearchResult r;
        r.name = text(GetSearchFile, i);
        const std::int32_t n =
            GetSearchFolder(i, m_buffer.data(), static_cast<std::int32_t>(m_buffer.size()));
        const QByteArrayView folder(m_buffer.data(), std::max(n, 0));
        if (n >= static_cast<std::int32_t>(m_buffer.size()) - 4) {
            r.folder = text(GetSearchFolder, i);
        } else if (folder == m_lastFolderBytes) {
            r.folder = m_lastFolder; // the rows of one folder share its text
        } else {
            m_lastFolderBytes = folder.toByteArray();
            m_lastFolder = QString::fromUtf8(folder);
            r.folder = m_lastFolder;
        }
        r.size = GetSearchSize(i);
        batch.push_back(std::move(r));
    }
    m_listed = count;
    m_results.append(std::move(batch));
}

void SearchSession::poll() {
    const std::int32_t r = NextFind();
    if (r == 1) {
        const std::int32_t width = std::clamp(m_progressWidth, 1, static_cast<std::int32_t>(m_buffer.size()));
        const std::int32_t n = GetCurrentFolder(m_buffer.data(), width);
        const QString folder = QString::fromUtf8(m_buffer.data(), std::max(n, 0));
        takeResults(GetSearchFileCount());
        emit progress(folder);
    } else if (r == 0) {
        m_timer.stop();
        takeResults(GetSearchFileCount());
        emit finished();
    }
}

} // namespace ketra
