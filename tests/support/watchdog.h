// For tests of "never blocks": ends the run with a message when the scope it guards lasts longer
// than a generous bound, so that a test of an action that hangs fails instead of hanging the
// suite. It measures nothing: an action that returns at all passes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

class Watchdog {
public:
    explicit Watchdog(const char* what, int seconds = 120)
        : m_thread([this, what, seconds] {
              std::unique_lock lock(m_mutex);
              if (!m_woken.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; })) {
                  std::fprintf(stderr, "Watchdog: %s did not return within %d s\n", what, seconds);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_woken.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_done = false;
    std::thread m_thread; // last: starts once the rest is made
};
