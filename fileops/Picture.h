// Pictures: which selected items count as pictures, and decoding one for the picture window.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace ketra {

// What the picture test makes of a path: the text after the last "." of its name, compared
// exactly (case-sensitively) with gif, bmp, wmf, jpg, jpeg and png.
enum class PictureName {
    NoExtension, // no "." in the name: the test leaves everything as it was
    Picture,
    Other,
};
PictureName CheckPictureName(const QString& path);

// Pictures whose decoded pixels need at most this many megabytes are read (a 20,000 x 20,000
// picture needs about 1,530); Qt's own limit of 256 would refuse them.
inline constexpr int kPictureAllocationLimitMB = 2048;

struct DecodedPicture {
    QImage image;  // null when the file could not be decoded
    QString error; // then: why, in words, naming the file
};

// Decodes the picture at `path`, made no larger than `fit` (aspect kept; a smaller picture keeps
// its size). Safe on any thread. Takes as long as the file needs: a large picture takes seconds.
DecodedPicture DecodePicture(const QString& path, QSize fit);

} // namespace ketra
