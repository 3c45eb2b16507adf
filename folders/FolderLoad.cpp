#include "folders/FolderLoad.h"

#include "treescan.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace ketra {

namespace {
// The load the scanner works for (one folder at a time for the whole program).
FolderLoad* g_current = nullptr;
} // namespace

FolderLoad::FolderLoad(std::span<char> buffer, QObject* parent) : QObject(parent), m_buffer(buffer) {
    m_timer.setInterval(kLookMs);
    connect(&m_timer, &QTimer::timeout, this, &FolderLoad::look);
    if (const int fd = GetProgressDescriptor(); fd >= 0) {
        m_news = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_news->setEnabled(false);
        // Others watch the same descriptor and may take its news: the timer looks anyway.
        connect(m_news, &QSocketNotifier::activated, this, [this] {
            WaitForProgress(0);
            look();
        });
    }
}

FolderLoad::~FolderLoad() {
    if (g_current == this) {
        g_current = nullptr;
        if (running())
            ResetFileTree();
    }
}

void FolderLoad::start(const QByteArray& folder, bool measure, bool exact, int fit) {
    if (g_current && g_current != this && g_current->running()) {
        // The scanner is taken from the load that had it: that one ends stopped.
        FolderLoad* other = g_current;
        other->m_stopAsked = true;
        QTimer::singleShot(0, other, [other] {
            if (other->running())
                other->end(State::Stopped);
        });
    }
    g_current = this;
    m_folder = folder;
    m_measure = measure;
    m_exact = exact;
    m_fit = fit;
    m_stopAsked = false;
    m_count = 0;
    m_error = 0;
    m_state = State::Reading;
    // No system call takes a NUL inside a path: it would name another folder.
    if (folder.contains('\0') || BeginFolder(folder.constData()) < 0) {
        WaitForTree(0);
        m_error = folder.contains('\0') ? EINVAL : GetFolderError();
        QTimer::singleShot(0, this, [this, folder] {
            if (m_state == State::Reading && m_folder == folder)
                end(State::Failed);
        });
        return;
    }
    m_timer.start();
    if (m_news)
        m_news->setEnabled(true);
}

void FolderLoad::stop() {
    if (!running())
        return;
    m_stopAsked = true;
    ResetFileTree();
    look();
}

void FolderLoad::end(State state) {
    m_timer.stop();
    if (m_news)
        m_news->setEnabled(false);
    m_state = state;
    emit finished();
}

void FolderLoad::look() {
    if (g_current != this)
        return; // another load has the scanner: this one ends stopped
    if (m_state == State::Reading) {
        const std::int32_t r = FolderListed();
        if (r == TREESCAN_LISTING)
            return;
        if (r < 0) {
            m_error = GetFolderError();
            end(m_stopAsked || m_error == EINTR ? State::Stopped : State::Failed);
            return;
        }
        m_count = r;
        if (!m_measure) {
            end(m_stopAsked ? State::Stopped : State::Done);
            return;
        }
        m_state = State::Measuring;
    }
    if (m_state != State::Measuring)
        return;
    const auto capacity = static_cast<std::int32_t>(
        std::min<std::size_t>(m_buffer.size(), std::numeric_limits<std::int32_t>::max()));
    QString folder;
    for (;;) {
        const std::int32_t r = NextTree();
        if (r == 1) {
            const std::int32_t n = GetCurrentFolder(m_buffer.data(), std::clamp(m_fit, 1, capacity));
            folder = QString::fromUtf8(m_buffer.data(), std::clamp(n, 0, capacity));
            continue;
        }
        if (r == 2)
            break;
        // The first answer is complete; a full pass may run on behind a cached one.
        if (m_stopAsked) {
            end(State::Stopped);
            return;
        }
        if (m_exact && GetPassState() == TREESCAN_PASS_CACHED)
            continue; // NextTree answers 2 until the exact figures are in, then 1, then 0
        end(State::Done);
        return;
    }
    emit progress(folder);
}

} // namespace ketra

#include "moc_FolderLoad.cpp"
