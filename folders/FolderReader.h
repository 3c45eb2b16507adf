// Reading a folder through the scanner: its items in the scanner's order, the folder-size pass
// with its progress, and the scanner's totals. No window: the main window's folder load and the
// snapshot command both read folders through it.
//
// The scanner keeps one folder at a time for the whole program, so one reader works at a time.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace ketra {

struct FolderItem {
    QString name;     // no folder part
    QString modified; // the scanner's modified text
    std::int32_t attributes = 0;
    double size = 0; // bytes; a folder's total once measured
};

class FolderReader {
public:
    // The scanner writes names into `buffer`, never past its end.
    explicit FolderReader(std::span<char> buffer) : m_buffer(buffer) {}

    // Makes `folder` the scanner's folder, after any folder-size pass still running has stopped.
    // Returns its item count, or -1 when it can't be read.
    std::int32_t open(const QString& folder);

    // Called while the folder sizes are measured: with the folder just measured (at most `fit`
    // bytes of its path, the end kept), or with an empty text when the scanner has had nothing new
    // for a while. Returning false ends the pass early.
    using Progress = std::function<bool(const QString& folder)>;
    // Measures the sizes of the folder's sub-folders (the scanner's folder-size pass) up to its
    // first answer, sleeping while the scanner has nothing new; `progress` hears of it every
    // kQuietMs at least. Returns false when `progress` ended the pass.
    bool measure(int fit, const Progress& progress);
    static constexpr int kQuietMs = 15;

    // Item `index` (0 to the count - 1) of the folder opened.
    FolderItem item(std::int32_t index);

    // True when the sizes measured came partly from the scanner's folder cache, which a file
    // that grew in place leaves stale: a full pass then runs on behind them.
    static bool verifying();
    // Never blocks. True once that full pass has put its exact sizes in place of the cached
    // ones (read the items' sizes again); the scanner then stops verifying.
    static bool verifiedNow();
    // A descriptor that becomes readable when the scanner has news (a QSocketNotifier watches
    // it), or -1; owned by the scanner.
    static int progressDescriptor();

    // The scanner's counts of all files and folders below the folder (after measure).
    static std::int64_t totalFileCount();
    static std::int64_t totalFolderCount();

private:
    QString text(std::int32_t length) const;
    std::span<char> m_buffer;
};

} // namespace ketra
