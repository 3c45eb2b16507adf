#include "fileops/Picture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

#include <array>

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

} // namespace

PictureName CheckPictureName(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return PictureName::NoExtension;
    static constexpr std::array<const char*, 6> kTypes = {"gif", "bmp", "wmf", "jpg", "jpeg", "png"};
    const QStringView extension = QStringView(name).mid(dot + 1);
    for (const char* type : kTypes)
        if (extension == QLatin1String(type))
            return PictureName::Picture;
    return PictureName::Other;
}

DecodedPicture DecodePicture(const QString& path, QSize fit) {
    raiseAllocationLimit();
    DecodedPicture result;
    const QString name = QFileInfo(path).fileName();
    auto fail = [&](const QString& why) {
        result.error = tr("\"%1\" can't be shown: %2.").arg(name, why);
        return result;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return fail(tr("the file is not there"));
    if (info.isFile() && info.size() == 0)
        return fail(tr("the file is empty"));

    QImageReader reader(path);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    const bool scaled =
        size.isValid() && fit.isValid() && (size.width() > fit.width() || size.height() > fit.height());
    if (scaled)
        reader.setScaledSize(size.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    if (reader.read(&result.image))
        return result;
    result.image = QImage();
    // Qt refuses a picture whose pixels would pass the allocation limit, and calls it bad data.
    const int depth = reader.imageFormat() == QImage::Format_Invalid
                          ? 32
                          : QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
    const double bytes = size.isValid() ? double(size.width()) * size.height() * depth / 8 : 0;
    if (!(scaled && reader.supportsOption(QImageIOHandler::ScaledSize)) &&
        bytes > kPictureAllocationLimitMB * 1048576.0)
        return fail(tr("at %1 x %2 pixels it is too large to be shown").arg(size.width()).arg(size.height()));
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return fail(tr("it holds no picture of a kind that can be read here"));
    case QImageReader::InvalidDataError:
        return fail(tr("its data is damaged or incomplete (%1)").arg(reader.errorString()));
    case QImageReader::FileNotFoundError:
        return fail(tr("the file is not there"));
    case QImageReader::DeviceError:
        return fail(tr("the file can't be read (%1)").arg(reader.errorString()));
    default:
        return fail(reader.errorString());
    }
}

} // namespace ketra
