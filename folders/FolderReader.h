// Reading a folder through the scanner: its items in the scanner's order, the folder-size pass
// with its progress, and the scanner's totals. No window: the main window's folder load and the
// snapshot command both read folders through it.
//
// The scanner keeps one folder at a time for the whole program, so one reader works at a time.
#pragma once

#include "folders/FileId.h"
#include "folders/ItemRecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace ketra {

struct FolderItem {
    QByteArray name;  // no folder part; the scanner's bytes
    QString modified; // the scanner's modified text
    std::int32_t attributes = 0;
    double size = 0; // bytes; a folder's total once measured
    FileId id;       // the file it was when the folder was read
    // A folder's total at its earlier state (ItemRecord::Earlier's values) and when that was.
    double earlier = ItemRecord::kNoEarlierState;
    std::uint32_t earlierTime = 0;
};

// What changed below the folder last read since its earlier state: whether it has one, when it
// was taken, and the folders below it that went away and what they held then.
struct FolderChanges {
    bool known = false;
    std::int64_t earlierTime = 0; // seconds since the epoch
    std::int32_t removedCount = 0;
    double removedBytes = 0;

    friend bool operator==(const FolderChanges&, const FolderChanges&) = default;
};

class FolderReader {
public:
    // The scanner writes names into `buffer`, never past its end.
    explicit FolderReader(std::span<char> buffer) : m_buffer(buffer) {}

    // Makes `folder` the scanner's folder, after any folder-size pass still running has stopped.
    // Returns its item count, or -1 when it can't be read (error() says why).
    std::int32_t open(const QByteArray& folder);
    // The system's error number of the last open that failed (0 after one that succeeded).
    int error() const { return m_error; }

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

    // The folder's items in the sort order again, now that the folders' totals are known (sort
    // by size orders folders by their totals). Item indexes change. Returns the item count.
    static std::int32_t sortByTotals();

    // True when the sizes measured came partly from the scanner's folder cache, which a file
    // that grew in place leaves stale: a full pass then runs on behind them.
    static bool verifying();
    // Never blocks. True once that full pass has put its exact sizes in place of the cached
    // ones (read the items' sizes again); the scanner then stops verifying.
    static bool verifiedNow();
    // A descriptor that becomes readable when the scanner has news (a QSocketNotifier watches
    // it), or -1; owned by the scanner.
    static int progressDescriptor();

    // How the folder's total and what is below it compare with their earlier state: after an
    // exact pass (verifying() false), looked up in the scanner's history of totals.
    static FolderChanges changes();

    // The scanner's counts of all files and folders below the folder (after measure).
    static std::int64_t totalFileCount();
    static std::int64_t totalFolderCount();

private:
    QString text(std::int32_t length) const;
    std::span<char> m_buffer;
    int m_error = 0;
    // The date text of the item read before, as bytes and as text: items mostly come in runs of
    // one date (a folder of a million files made at once has a handful), and the entries of a run
    // share one text, decoded once.
    QByteArray m_lastTimeBytes;
    QString m_lastTime;
};

// What the window says when `folder` can't be shown, `error` being the system's reason:
// "Folder "X" not found" for a folder that is not there, otherwise "Folder "X" can't be read: "
// and the reason in words ("Permission denied").
QString FolderErrorText(const QByteArray& folder, int error);

} // namespace ketra
