// Model files: any bytes loaded as a frame hierarchy with animations and as one mesh, then the
// animations played and the scene updated, picked and bounded.
#include "fuzz_support.h"
#include "platform/Math.h"
#include "scene/D3DAnimation.h"
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene/D3DUtil.h"
#include "scene/XFile.h"

#include <QCoreApplication>

#include <pthread.h>
#include <sanitizer/common_interface_defs.h>

namespace {

void visit(const CD3DFrame& frame) {
    for (const CD3DMeshPtr& mesh : frame.ChildMeshes()) {
        if (!mesh || !mesh->mesh)
            continue;
        mesh->ComputeBoundingVolumes();
        mesh->mesh->intersect({0, 0, -100}, {0, 0, 1});
        FUZZ_CHECK(mesh->GetMaterialCount() >= 0);
    }
    for (const CD3DFramePtr& child : frame.ChildFrames())
        if (child)
            visit(*child);
}

} // namespace

// A few bytes of a count make the parser ask for gigabytes, which the address checker would
// poison byte by byte: refused at once instead (the parser then gives up on the file). The
// fuzzer itself takes 512 MiB in one piece.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=640:quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    // The parser's child process is a copy of the fuzzer: what breaks there must not be written
    // down as this input's crash (the child's failure is the outcome the loader expects).
    pthread_atfork(nullptr, nullptr, [] { __sanitizer_set_death_callback(nullptr); });
    // An input that hangs the parser costs this long (twice: it is parsed twice), well within
    // libFuzzer's limit of a unit. The inputs a fixed seed leads to follow the layout of the code,
    // which a build's options and even its folder change: with a longer limit, the few that hang
    // the parser made this target's run take from 20 s to 90 s.
    XFile::SetParseTimeLimit(1);
    // Textures a model names are looked for by name only.
    SetMediaFolder(QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = QString::fromStdString(fuzz::WriteScratch(".x", data, size));
    const CD3DFramePtr root = CD3DFrame::Create();
    const auto animations = std::make_shared<CD3DAnimation>();
    if (CD3DFrame::InitFromFile(root, nullptr, path, nullptr, animations)) {
        for (float t : {-1.0f, 0.0f, 0.5f, 7.0f, 1e6f})
            animations->SetTime(t);
        root->UpdateFrames();
        visit(*root);
    } else {
        FUZZ_CHECK(root->GetChildFrameCount() == 0 && root->GetChildMeshCount() == 0);
        FUZZ_CHECK(animations->GetChildCount() == 0);
    }
    CD3DMesh whole;
    if (whole.InitFromFile(nullptr, path)) {
        FUZZ_CHECK(whole.mesh != nullptr);
        whole.ComputeNormals();
        whole.Optimize();
    }
    return 0;
}
