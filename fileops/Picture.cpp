#include "fileops/Picture.h"

#include "folders/RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>
#include <QImageReader>
#include <QLocale>
#include <QMetaObject>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace ketra {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("Picture", text);
}

// Set once for the whole program: QImageReader's limit is global.
void raiseAllocationLimit() {
    static const bool raised = [] {
        if (QImageReader::allocationLimit() < kPictureAllocationLimitMB)
            QImageReader::setAllocationLimit(kPictureAllocationLimitMB);
        return true;
    }();
    Q_UNUSED(raised);
}

// A picture file read through a descriptor of ours, whose reads fail once the decode is cancelled:
// the decoder then gives up within one read, however large the picture.
class CancellableFile : public QIODevice {
public:
    CancellableFile(int fd, qint64 size, const std::atomic<bool>* cancel)
        : m_fd(fd), m_size(size), m_cancel(cancel) {}
    ~CancellableFile() override { ::close(m_fd); }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override {
        if (!QIODevice::seek(pos))
            return false;
        m_offset = pos;
        return true;
    }
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (cancelled()) {
            setErrorString(tr("the decode was given up"));
            return -1;
        }
        ssize_t n;
        do
            n = ::pread(m_fd, data, static_cast<std::size_t>(maxSize), m_offset);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return -1;
        }
        m_offset += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int m_fd;
    qint64 m_size;
    qint64 m_offset = 0;
    const std::atomic<bool>* m_cancel;
};

// The size libjpeg decodes a `full` picture at when asked for `scaled`: the largest of 1/1, 1/2,
// 1/4 and 1/8 that is still no smaller than `scaled` (Qt's JPEG reader picks it so).
QSize jpegDecodeSize(QSize full, QSize scaled) {
    const int ratio = std::min(full.width() / scaled.width(), full.height() / scaled.height());
    const int d = ratio < 2 ? 1 : ratio < 4 ? 2 : ratio < 8 ? 4 : 8;
    return {(full.width() + d - 1) / d, (full.height() + d - 1) / d};
}

// `image` brought down to `target`: a fast reduction to twice the target first, so that the
// smooth step costs what the target does, not what the picture does.
QImage scaledDown(QImage image, QSize target, const CancellableFile& device) {
    if (image.width() > 2 * target.width() && image.height() > 2 * target.height())
        image = image.scaled(target * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (device.cancelled())
        return {};
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

PictureName CheckPictureName(const QByteArray& path) {
    const QByteArrayView name = QByteArrayView(path).sliced(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return PictureName::NoExtension;
    static constexpr std::array<const char*, 6> kTypes = {"gif", "bmp", "wmf", "jpg", "jpeg", "png"};
    const QByteArrayView extension = name.sliced(dot + 1);
    for (const char* type : kTypes)
        if (extension == QByteArrayView(type))
            return PictureName::Picture;
    return PictureName::Other;
}

DecodedPicture DecodePicture(const QByteArray& path, QSize fit, const std::atomic<bool>* cancel) {
    raiseAllocationLimit();
    DecodedPicture result;
    const QString name = QFile::decodeName(path.sliced(path.lastIndexOf('/') + 1));
    auto fail = [&](const QString& why) {
        result.image = QImage();
        result.error = tr("\"%1\" can't be shown: %2.").arg(name, why);
        return result;
    };
    auto given = [&] {
        result.image = QImage();
        result.cancelled = true;
        return result;
    };

    RegularFile file(path);
    if (!file.isOpen())
        return fail(file.missing() ? tr("the file is not there") : file.reason());
    if (file.size() == 0)
        return fail(tr("the file is empty"));
    const qint64 fileSize = file.size();
    CancellableFile device(file.release(), fileSize, cancel);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);

    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const QSize size = reader.size(); // from the header alone
    if (device.cancelled())
        return given();
    const bool larger =
        size.isValid() && fit.isValid() && (size.width() > fit.width() || size.height() > fit.height());
    const QSize target = larger ? size.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)) : size;
    QSize decoded = size;
    if (larger && reader.format() == "jpeg") {
        reader.setScaledSize(target);
        decoded = jpegDecodeSize(size, target);
    }
    if (size.isValid()) {
        const int depth = reader.imageFormat() == QImage::Format_Invalid
                              ? 32
                              : QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
        const double mib = double(decoded.width()) * decoded.height() * depth / 8 / 1048576.0;
        if (mib > kPictureAllocationLimitMB) {
            const QLocale english(QLocale::English);
            return fail(tr("at %1 x %2 pixels it would take %3 MiB to decode, more than the %4 MiB a "
                           "picture may take")
                            .arg(english.toString(size.width()), english.toString(size.height()),
                                 english.toString(std::ceil(mib), 'f', 0),
                                 english.toString(kPictureAllocationLimitMB)));
        }
    }

    QImage image;
    if (!reader.read(&image)) {
        if (device.cancelled())
            return given();
        switch (reader.error()) {
        case QImageReader::UnsupportedFormatError:
            return fail(tr("it holds no picture of a kind that can be read here"));
        case QImageReader::InvalidDataError:
            return fail(tr("its data is damaged or incomplete (%1)").arg(reader.errorString()));
        case QImageReader::DeviceError:
            return fail(tr("the file can't be read (%1)").arg(reader.errorString()));
        default:
            return fail(reader.errorString());
        }
    }
    if (device.cancelled())
        return given();
    if (fit.isValid() && (image.width() > fit.width() || image.height() > fit.height())) {
        // The target is taken before the image is moved into the call: the order in which a
        // call's arguments are made is the compiler's choice.
        const QSize target = image.size().scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        image = scaledDown(std::move(image), target, device);
        if (image.isNull())
            return given();
    }
    result.image = std::move(image);
    return result;
}

PictureLoader::PictureLoader(Done done, QObject* parent) : QObject(parent), m_done(std::move(done)) {
    m_pool.setMaxThreadCount(1); // one decode's pixels at a time
}

PictureLoader::~PictureLoader() {
    if (m_cancel)
        m_cancel->store(true);
    m_pool.clear();
    m_pool.waitForDone();
}

void PictureLoader::load(const QByteArray& path, QSize fit) {
    if (m_cancel)
        m_cancel->store(true);
    m_pool.clear(); // requests not begun yet are dropped unseen
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_busy = true;
    const int request = ++m_request;
    m_pool.start([this, request, path, fit, cancel = m_cancel] {
        DecodedPicture picture = DecodePicture(path, fit, cancel.get());
        if (picture.cancelled)
            return;
        // Handed over on the loader's thread; dropped with the loader when it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, request, picture = std::move(picture)] {
                if (request != m_request)
                    return; // a newer picture was asked for meanwhile
                m_busy = false;
                m_done(picture);
            },
            Qt::QueuedConnection);
    });
}

} // namespace ketra
