// One folder load: the scanner lists the folder on a thread of its own, then (with folder sizes
// on) measures its sub-folders on its workers; the load follows it from the event loop of the
// thread that owns it and reports with signals. Its life: reading, measuring, then done, stopped
// or failed. The thread that owns it is never held: it sleeps on the scanner's progress
// descriptor and looks every kLookMs while the load runs.
//
// The scanner keeps one folder at a time for the whole program, so one load runs at a time; a
// load started while another runs takes the scanner from it (the other ends stopped).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <span>

class QSocketNotifier;

namespace ketra {

class FolderLoad : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Reading, Measuring, Done, Stopped, Failed };
    // The least time between two looks at the scanner while it works (and between two progress
    // signals, which keep the picture on screen).
    static constexpr int kLookMs = 15;

    // The scanner writes folder texts into `buffer`, never past its end.
    explicit FolderLoad(std::span<char> buffer, QObject* parent = nullptr);
    ~FolderLoad() override;

    // Starts reading `folder`. With `measure`, the sub-folders' sizes are measured next (the
    // scanner's folder sizes must be on); with `exact` too, past a first answer from the
    // scanner's cache to the figures read from disk. `fit`: the bytes of a folder path that
    // progress names (its end kept).
    void start(const QByteArray& folder, bool measure, bool exact, int fit);
    // Asks the load to stop; it ends (finished, Stopped) as soon as the scanner has stopped.
    void stop();

    State state() const { return m_state; }
    bool running() const { return m_state == State::Reading || m_state == State::Measuring; }
    const QByteArray& folder() const { return m_folder; }
    // The folder's item count (after reading), and the system's reason when it failed.
    std::int32_t count() const { return m_count; }
    int error() const { return m_error; }

signals:
    // While measuring, every kLookMs at least: the folder just measured, or an empty text.
    void progress(const QString& folder);
    // The load has ended: done, stopped or failed (state() says which).
    void finished();

private:
    void look();
    void end(State state);

    std::span<char> m_buffer;
    QTimer m_timer;
    QSocketNotifier* m_news = nullptr;
    State m_state = State::Idle;
    QByteArray m_folder;
    bool m_measure = false, m_exact = false, m_stopAsked = false;
    int m_fit = 80;
    std::int32_t m_count = 0;
    int m_error = 0;
};

} // namespace ketra
