// The back/forward history of the folders shown. Positions run from 0; the history keeps at most
// eleven entries (positions 0 to 10): recording a twelfth keeps the oldest entry (the folder shown
// at the previous exit, recorded at start-up), drops the next five and moves the newest five down,
// so the new entry lands at position 6.
#pragma once

#include <QByteArray>

#include <array>

namespace ketra {

class NavigationHistory {
public:
    // The largest position before the history is shifted (m_historyMax).
    static constexpr int kMaxPosition = 10;

    // Records `path` as the newest entry: it becomes the current position and the newest position
    // that forward can reach (whatever lay ahead of the current position is forgotten).
    void PushHistory(const QByteArray& path);
    void push(const QByteArray& path) { PushHistory(path); }

    // The current position (m_historyPos); -1 while the history is empty.
    int position() const { return m_historyPos; }
    // The newest position that forward can reach (m_historyTop); -1 while the history is empty.
    int top() const { return m_historyTop; }
    // The entry at `pos` (0 to top()); empty outside.
    QByteArray at(int pos) const;
    QByteArray current() const { return at(m_historyPos); }

    // Whether back (position 1 or more) and forward (a position below top) lead anywhere: the
    // enabled states of the Previous Folder and Next Folder buttons.
    bool canGoBack() const { return m_historyPos >= 1; }
    bool canGoForward() const { return m_historyPos < m_historyTop; }

    // One step back / forward; returns the entry moved to, or an empty path (and no move) when
    // there is nowhere to go.
    QByteArray back();
    QByteArray forward();

private:
    std::array<QByteArray, 2 * kMaxPosition + 1> m_history; // positions 0 to 20
    int m_historyPos = -1;
    int m_historyTop = -1;
};

} // namespace ketra
