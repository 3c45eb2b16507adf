#include "search/SearchSession.h"

#include "treescan.h"

#include <QSocketNotifier>

#include <algorithm>

namespace ketra {

SearchSession::SearchSession(QObject* parent) : QObject(parent) {
    m_pause.setSingleShot(true);
    m_pause.setInterval(kLookMs);
    connect(&m_pause, &QTimer::timeout, this, &SearchSession::pauseEnded);
}

SearchSession::~SearchSession() {
    if (m_running)
        ResetFileTree();
}

void SearchSession::start(const QByteArray& folder, const QString& name, const QString& text, double lower,
                          double upper) {
    m_results.clear();
    m_listed = 0;
    m_taken.clear();
    m_folder.clear();
    m_news = false;
    m_sinceShown.start();
    m_lastFolder.clear();
    FileGTE(lower);
    FileLTE(upper);
    // A folder the scanner can't read leaves it with no search: the first look sees it ended.
    FindStr(folder.contains('\0') ? "" : folder.constData(), name.toUtf8().constData(),
            text.toUtf8().constData());
    m_running = true;
    if (!m_progress) {
        const int fd = GetProgressDescriptor();
        if (fd >= 0) {
            m_progress = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_progress, &QSocketNotifier::activated, this, &SearchSession::wake);
        }
    }
    m_pause.start(); // the first look comes after a pause at the latest
    if (m_progress)
        m_progress->setEnabled(true);
}

void SearchSession::stop() {
    if (!m_running)
        return;
    ResetFileTree(); // the scanner reports the end at once
    m_pause.start(0);
}

QByteArray SearchSession::bytes(std::int32_t (*get)(std::int32_t, char*, std::int32_t), std::int32_t index) {
    for (;;) {
        const auto capacity = static_cast<std::int32_t>(m_buffer.size());
        const std::int32_t n = get(index, m_buffer.data(), capacity);
        // A text that filled the buffer may have been cut: read it again with room to spare.
        if (n < capacity - 4 || m_buffer.size() >= (std::size_t{1} << 24))
            return QByteArray(m_buffer.data(), std::max(n, 0));
        m_buffer.resize(m_buffer.size() * 4);
    }
}

void SearchSession::takeResults(std::int32_t count) {
    if (count <= m_listed)
        return;
    std::vector<SearchResult>& batch = m_taken;
    batch.reserve(batch.size() + static_cast<std::size_t>(count - m_listed));
    for (std::int32_t i = m_listed; i < count; ++i) {
        SearchResult r;
        r.name = bytes(GetSearchFile, i);
        const std::int32_t n =
            GetSearchFolder(i, m_buffer.data(), static_cast<std::int32_t>(m_buffer.size()));
        const QByteArrayView folder(m_buffer.data(), std::max(n, 0));
        if (n >= static_cast<std::int32_t>(m_buffer.size()) - 4)
            m_lastFolder = bytes(GetSearchFolder, i);
        else if (folder != m_lastFolder)
            m_lastFolder = folder.toByteArray();
        r.folder = m_lastFolder; // the rows of one folder share its bytes
        r.size = GetSearchSize(i);
        batch.push_back(std::move(r));
    }
    m_listed = count;
    m_news = true;
}

void SearchSession::show() {
    m_results.append(std::move(m_taken));
    m_taken.clear();
    m_news = false;
    m_sinceShown.restart();
    emit progress(m_folder);
}

int SearchSession::look() {
    const std::int32_t r = NextFind();
    if (r == 1) {
        const std::int32_t width = std::clamp(m_progressWidth, 1, static_cast<std::int32_t>(m_buffer.size()));
        const std::int32_t n = GetCurrentFolder(m_buffer.data(), width);
        m_folder = QString::fromUtf8(m_buffer.data(), std::max(n, 0));
        m_news = true;
        takeResults(GetSearchFileCount());
    } else if (r == 0) {
        m_running = false;
        m_pause.stop();
        if (m_progress)
            m_progress->setEnabled(false);
        takeResults(GetSearchFileCount());
        m_results.append(std::move(m_taken));
        m_taken.clear();
        emit finished();
        return 0;
    }
    if (m_news && m_sinceShown.elapsed() >= kShowMs)
        show();
    return r;
}

void SearchSession::wake() {
    WaitForProgress(0); // takes the news, so the descriptor wakes the session only for more
    m_progress->setEnabled(false);
    if (!m_running)
        return;
    if (look() != 0)
        m_pause.start();
}

void SearchSession::pauseEnded() {
    if (!m_running)
        return;
    const int r = look();
    if (r == 0)
        return;
    if (r == 2 && !m_news && m_progress)
        m_progress->setEnabled(true); // quiet, and all shown: sleep until there is news
    else
        m_pause.start();
}

} // namespace ketra

#include "moc_SearchSession.cpp"
