// Pictures that claim more than they hold, made in a few bytes for tests.
#pragma once

#include <QByteArray>
#include <QtEndian>

// A w x h RGB PNG whose header claims the size and whose data holds a few rows' worth of pixels:
// reading its size succeeds, decoding it finds too little data.
inline QByteArray PngClaiming(quint32 w, quint32 h) {
    auto crc32 = [](QByteArrayView data) {
        quint32 c = 0xFFFFFFFF;
        for (char byte : data) {
            c ^= static_cast<uchar>(byte);
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320 ^ (c >> 1) : c >> 1;
        }
        return ~c;
    };
    auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = type + data;
        QByteArray size(4, 0), crc(4, 0);
        qToBigEndian(static_cast<quint32>(data.size()), size.data());
        qToBigEndian(crc32(body), crc.data());
        return size + body + crc;
    };
    QByteArray ihdr(13, 0);
    qToBigEndian(w, ihdr.data());
    qToBigEndian(h, ihdr.data() + 4);
    ihdr[8] = 8; // bits a channel
    ihdr[9] = 2; // RGB
    return QByteArray("\x89PNG\r\n\x1a\n") + chunk("IHDR", ihdr) +
           chunk("IDAT", qCompress(QByteArray(64, 0)).mid(4)) + chunk("IEND", {});
}
