// The colour file ext.txt: any bytes read as a colour table, then the table looked up.
#include "colours/ExtColours.h"
#include "fuzz_support.h"

#include <algorithm>

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = QString::fromStdString(fuzz::WriteScratch("-ext.txt", data, size));
    ExtColourTable table;
    const ExtColourLoadResult r = ReadExtColourFile(path, table);
    FUZZ_CHECK(r.recordsRead == table.count());
    FUZZ_CHECK(r.ok() ? table.count() == r.declaredCount : r.recordsRead <= std::max(r.declaredCount, 0));
    FUZZ_CHECK(!r.message().isEmpty() || r.ok());
    for (int i = 1; i <= table.count(); ++i) {
        const ExtColour& rec = table.record(i);
        FUZZ_CHECK(table.find(rec.Ext) >= 1 && table.find(rec.Ext) <= i);
        FUZZ_CHECK((table.colourFor(QStringLiteral("a.") + rec.Ext) >> 24) == 0xFF);
    }
    return 0;
}
