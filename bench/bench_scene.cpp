// Figures for the scene framework with the bar graph's shape: a root, a bars frame and one frame
// with one box per bar. The device is the null device (no OpenGL), so Render measures the
// traversal and the state changes, not rasterisation.
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene/D3DPick.h"
#include "scene/D3DUtil.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

struct Scene {
    CD3DFramePtr root;
    CD3DFramePtr bars;
};

Scene BuildBars(int count, const platform::MeshPtr& sharedBox) {
    Scene s;
    s.root = CreateChildFrame(nullptr);
    s.root->AddRotation(COMBINE_PREMULTIPLY, 1, -1, 0, 12566.0f);
    s.bars = CreateChildFrame(s.root);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const platform::Material material{{0.2f, 0.4f, 0.6f, 1.0f}, {0.2f, 0.4f, 0.6f, 1.0f}, {}, {}, 0};
    for (int i = 0; i < count; ++i) {
        CD3DFramePtr bar = CreateChildFrame(s.bars);
        bar->SetPosition({static_cast<float>(i % side) * 1.5f, 0.5f, static_cast<float>(i / side) * 1.5f});
        CD3DMeshPtr mesh = bar->AddD3DXMesh(sharedBox ? sharedBox : platform::CreateBox(1, 1, 1));
        mesh->SetMaterialOverride(material);
        bar->ObjectName = QString::number(i + 1);
    }
    return s;
}

void SetUpDevice() {
    if (!g_device)
        g_device = std::make_shared<platform::Device>();
    g_device->setViewport({0, 0, 800, 600, 0, 1});
    g_device->setTransform(platform::TransformType::View,
                           platform::MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
    g_device->setTransform(platform::TransformType::Projection,
                           platform::MatrixPerspectiveFovLH(3.1415f / 4, 800.0f / 600.0f, 1, 3000));
}

void BM_BuildBarsSharedBox(benchmark::State& state) {
    const platform::MeshPtr box = platform::CreateBox(1, 1, 1);
    for (auto _ : state) {
        Scene s = BuildBars(static_cast<int>(state.range(0)), box);
        benchmark::DoNotOptimize(s.root.get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildBarsSharedBox)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_BuildBarsOwnBox(benchmark::State& state) {
    for (auto _ : state) {
        Scene s = BuildBars(static_cast<int>(state.range(0)), nullptr);
        benchmark::DoNotOptimize(s.root.get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildBarsOwnBox)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_UpdateFrames(benchmark::State& state) {
    Scene s = BuildBars(static_cast<int>(state.range(0)), platform::CreateBox(1, 1, 1));
    for (auto _ : state)
        s.root->UpdateFrames();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UpdateFrames)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RenderNullDevice(benchmark::State& state) {
    SetUpDevice();
    Scene s = BuildBars(static_cast<int>(state.range(0)), platform::CreateBox(1, 1, 1));
    for (auto _ : state)
        s.root->Render(g_device);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RenderNullDevice)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ViewportPick(benchmark::State& state) {
    SetUpDevice();
    Scene s = BuildBars(static_cast<int>(state.range(0)), platform::CreateBox(1, 1, 1));
    CD3DPick pick;
    for (auto _ : state) {
        pick.ViewportPick(s.root, 400, 300);
        benchmark::DoNotOptimize(pick.FindNearest());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ViewportPick)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReleaseScene(benchmark::State& state) {
    const platform::MeshPtr box = platform::CreateBox(1, 1, 1);
    for (auto _ : state) {
        state.PauseTiming();
        Scene s = BuildBars(static_cast<int>(state.range(0)), box);
        state.ResumeTiming();
        s = Scene{};
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReleaseScene)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
