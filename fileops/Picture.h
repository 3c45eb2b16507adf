// Pictures: which selected items count as pictures, and decoding one for the picture window off
// the window's thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

namespace ketra {

// What the picture test makes of a path: the text after the last "." of its name, compared
// exactly (case-sensitively) with gif, bmp, wmf, jpg, jpeg and png.
enum class PictureName {
    NoExtension, // no "." in the name: the test leaves everything as it was
    Picture,
    Other,
};
PictureName CheckPictureName(const QByteArray& path);

// The most memory one decode may take for its pixels, in MiB: a 20,000 x 20,000 picture needs
// about 1,530. A picture whose header asks for more is refused before it is decoded.
inline constexpr int kPictureAllocationLimitMB = 2048;

struct DecodedPicture {
    QImage image;           // null when the file was not decoded
    QString error;          // then: why, in words, naming the file
    bool cancelled = false; // the decode was given up (no error then)
};

// Decodes the picture at `path` (its bytes), made no larger than `fit` (aspect kept; a smaller
// picture keeps its size). Only a regular file is read, opened without blocking; a picture whose
// pixels would need more than kPictureAllocationLimitMB is refused from its header. A JPEG is
// decoded at a fraction of its size where that still fills `fit`; other kinds are decoded whole,
// then scaled. `cancel`, when given, may be set from another thread: the reads then fail and the
// decode ends early with `cancelled`. Safe on any thread. Takes as long as the file needs: a large
// picture takes seconds.
DecodedPicture DecodePicture(const QByteArray& path, QSize fit, const std::atomic<bool>* cancel = nullptr);

// Decodes pictures one at a time on a thread of its own (never Qt's global pool, which the
// window's painting waits on). A newer request cancels the older one; results come back on the
// thread that made the loader, older ones dropped.
class PictureLoader : public QObject {
public:
    using Done = std::function<void(const DecodedPicture& picture)>;
    // `done` is called on the loader's thread with the newest request's picture.
    explicit PictureLoader(Done done, QObject* parent = nullptr);
    // Cancels the running decode and waits for it, which a cancelled decode ends within one read.
    ~PictureLoader() override;

    // Starts decoding `path` fitted to `fit`.
    void load(const QByteArray& path, QSize fit);
    // The newest request has not reported yet.
    bool busy() const { return m_busy; }

private:
    Done m_done;
    QThreadPool m_pool;
    std::shared_ptr<std::atomic<bool>> m_cancel; // the newest request's
    int m_request = 0;
    bool m_busy = false;
};

} // namespace ketra
