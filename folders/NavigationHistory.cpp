#include "folders/NavigationHistory.h"

namespace ketra {

void NavigationHistory::PushHistory(const QByteArray& path) {
    const int p = m_historyPos + 1;
    m_historyPos = m_historyTop = p;
    if (p > kMaxPosition) {
        // Keep entry 0; entries p - 5 .. p move down to p - 10 .. p - 5.
        for (int j = p - 5; j <= p; ++j)
            m_history[static_cast<std::size_t>(j - 5)] = m_history[static_cast<std::size_t>(j)];
        m_historyPos -= 5;
        m_historyTop -= 5;
    }
    m_history[static_cast<std::size_t>(m_historyPos)] = path;
}

QByteArray NavigationHistory::at(int pos) const {
    if (pos < 0 || pos > m_historyTop)
        return {};
    return m_history[static_cast<std::size_t>(pos)];
}

QByteArray NavigationHistory::back() {
    if (!canGoBack())
        return {};
    --m_historyPos;
    return current();
}

QByteArray NavigationHistory::forward() {
    if (!canGoForward())
        return {};
    ++m_historyPos;
    return current();
}

} // namespace ketra
