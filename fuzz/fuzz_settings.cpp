// The settings the program reads back: any bytes as the settings file, every key read.
#include "core/Settings.h"
#include "fuzz_support.h"

#include <QCoreApplication>
#include <QFile>

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A new name for every input: the settings store keeps what it read of a file it has seen.
    static unsigned long serial = 0;
    const QString path =
        QString::fromStdString(fuzz::WriteScratch("-" + std::to_string(++serial) + ".ini", data, size));
    {
        const ketra::Settings settings(path);
        const ketra::SettingsValues v = settings.read(QByteArrayLiteral("/program"));
        for (double twips : {v.MainLeft, v.MainTop, v.MainWidth, v.MainHeight})
            FUZZ_CHECK(std::isfinite(twips) && std::fabs(twips) <= 10'000'000);
        FUZZ_CHECK(v.chkCaseValue == 0 || v.chkCaseValue == 1);
    }
    QFile::remove(path);
    ketra::Settings::parseBool(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
