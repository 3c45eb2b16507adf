// While it lives, an action that waits on the named pipe `fifo` for over a minute is let go (the
// pipe's other end is opened) and fired() says so: the test fails instead of hanging.
#pragma once

#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& fifo)
        : m_thread([this, name = QFile::encodeName(fifo)] {
              for (int i = 0; i < 600 && !m_done; ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              if (!m_done && (m_fired = true))
                  ::close(::open(name.constData(), O_RDWR | O_NONBLOCK));
          }) {}
    ~FifoWatchdog() {
        m_done = true;
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    std::atomic<bool> m_done{false}, m_fired{false};
    std::thread m_thread;
};
