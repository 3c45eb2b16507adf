// Figures for mesh creation and picking: boxes and folder cylinders as the bar scene makes them,
// 12-character labels with a warm glyph cache (the usual case) and with every glyph new, and the
// ray test of one bar and one label. Run by hand; ctest does not run it.
//   bench_mesh --benchmark_counters_tabular=true
#include "platform/Mesh.h"

#include <QFont>
#include <QGuiApplication>
#include <QString>

#include <benchmark/benchmark.h>

#include <vector>

using namespace platform;

namespace {

constexpr int kBatch = 10000;

QFont labelFont() {
    return QFont("Arial", 10);
}

// Twelve-character labels as the bar scene makes them (longer names become 7 characters + "...").
std::vector<QString> labels() {
    std::vector<QString> out;
    const char* stems[] = {"IMG_", "Document", "report-", "backup_", "notes.", "Music", "setup-v", "photo"};
    for (int i = 0; i < kBatch; ++i) {
        QString name = QString::fromLatin1(stems[i % 8]) + QString::number(i) + QStringLiteral(".txt");
        if (name.size() > 12)
            name = name.left(7) + QStringLiteral("...");
        out.push_back(name.leftJustified(12, QLatin1Char('x')));
    }
    return out;
}

void BM_CreateBoxes(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            benchmark::DoNotOptimize(CreateBox(1.0f, 0.01f * static_cast<float>(i % 300 + 1), 1.0f));
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_CreateBoxes)->Unit(benchmark::kMillisecond);

void BM_CreateFolderCylinders(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            benchmark::DoNotOptimize(
                CreateCylinder(0.5f, 0.5f, 0.01f * static_cast<float>(i % 300 + 1), 12, 12));
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_CreateFolderCylinders)->Unit(benchmark::kMillisecond);

void BM_CreateLabels(benchmark::State& state) {
    const QFont font = labelFont();
    const std::vector<QString> names = labels();
    const float deviation = static_cast<float>(state.range(0)) / 1000.0f;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const QString& name : names) {
            const MeshPtr mesh = CreateTextMesh(font, name, deviation, 0.15f);
            bytes += (mesh->vertices().size() + mesh->indices().size()) * 4;
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["KiB_per_label"] = static_cast<double>(bytes) / kBatch / 1024.0;
}
// Deviation in thousandths of an em: 1 is what the bar scene asks for.
BENCHMARK(BM_CreateLabels)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

// Every glyph new: each iteration uses a deviation the cache has not seen.
void BM_CreateLabelCold(benchmark::State& state) {
    const QFont font = labelFont();
    static float deviation = 0.001f; // never repeats, across repetitions too
    for (auto _ : state) {
        deviation += 1e-7f;
        benchmark::DoNotOptimize(CreateTextMesh(font, QStringLiteral("Document.txt"), deviation, 0.15f));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateLabelCold)->Unit(benchmark::kMicrosecond);

void BM_IntersectBox(benchmark::State& state) {
    const MeshPtr box = CreateBox(1, 2, 1);
    const bool hit = state.range(0) != 0;
    const Vector3 origin{hit ? 0.1f : 3.0f, 0.2f, -20}, direction{0, 0, 40};
    for (auto _ : state)
        benchmark::DoNotOptimize(box->intersect(origin, direction));
}
BENCHMARK(BM_IntersectBox)->Arg(0)->Arg(1);

void BM_IntersectLabel(benchmark::State& state) {
    const MeshPtr label = CreateTextMesh(labelFont(), QStringLiteral("Document.txt"), 0.001f, 0.15f);
    const bool hit = state.range(0) != 0;
    const Vector3 origin{hit ? 1.0f : -3.0f, 0.3f, -20}, direction{0, 0, 40};
    for (auto _ : state)
        benchmark::DoNotOptimize(label->intersect(origin, direction));
}
BENCHMARK(BM_IntersectLabel)->Arg(0)->Arg(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
