// Figures for reading comma-delimited tables at the sizes their bounds allow: the read itself (on
// the reading thread) and the entries made of it (on the window's thread), for a square table, a
// one-line table and a file of comments as large as a table may be.
#include "datafile/DataEntries.h"
#include "datafile/DataTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

enum Shape { Square, OneLine, Comments };

// A table file of about `cells` value cells (or of kMaxDataTableBytes of comments), made once.
QByteArray tableFile(Shape shape, int cells) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t%1-%2.csv").arg(shape).arg(cells));
    if (!QFile::exists(path)) {
        QByteArray text;
        if (shape == Comments) {
            const QByteArray line = "; " + QByteArray(77, 'c') + "\n";
            text = line.repeated(ketra::kMaxDataTableBytes / line.size() - 1) + "H,a\nr,1\n";
        } else {
            const int side = shape == Square ? static_cast<int>(std::sqrt(cells)) : cells;
            text = "H";
            for (int j = 1; j <= side; ++j)
                text += ",c" + QByteArray::number(j);
            for (int r = 1; r <= cells / side; ++r) {
                text += "\nr" + QByteArray::number(r);
                for (int j = 1; j <= side; ++j)
                    text += ',' + QByteArray::number((r * j) % 1000 + 1);
            }
            text += '\n';
        }
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return {};
    }
    return QFile::encodeName(path);
}

void BM_ReadTable(benchmark::State& state) {
    const QByteArray path = tableFile(static_cast<Shape>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        ketra::DataTable table;
        const ketra::DataTableResult r = ketra::ReadDataTable(path, table);
        if (!r.ok())
            state.SkipWithError(qPrintable(r.message()));
        benchmark::DoNotOptimize(table.cells.data());
        state.counters["cells"] = static_cast<double>(table.cells.size());
    }
}
BENCHMARK(BM_ReadTable)
    ->Args({Square, 10000})
    ->Args({Square, ketra::kMaxDataTableCells})
    ->Args({OneLine, ketra::kMaxDataTableCells})
    ->Args({Comments, 0})
    ->Unit(benchmark::kMillisecond);

void BM_TableEntries(benchmark::State& state) {
    ketra::DataTable table;
    ketra::ReadDataTable(tableFile(Square, static_cast<int>(state.range(0))), table);
    for (auto _ : state) {
        ketra::GraphModel model;
        ketra::AddDataTableEntries(model, table, {}, false);
        model.ScaleEntries(false);
        benchmark::DoNotOptimize(model.entries().data());
    }
}
BENCHMARK(BM_TableEntries)->Arg(10000)->Arg(ketra::kMaxDataTableCells)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
