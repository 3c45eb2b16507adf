#include "D3DFrame.h"

#include "D3DAnimation.h"
#include "D3DMesh.h"
#include "D3DUtil.h"
#include "XFile.h"
#include "platform/Math.h"

#include <stdexcept>
#include <utility>

using platform::Matrix;
using platform::Vector3;

namespace {

platform::Device& sharedDevice() {
    if (!g_device)
        throw std::runtime_error("CD3DFrame::Render: no 3D device");
    return *g_device;
}

// Appends to a list whose reported capacity grows in steps of 5. The storage itself grows
// geometrically (push_back), so a frame with 100,000 children is built in linear time.
template <typename T> void append(std::vector<T>& list, T item) {
    list.push_back(std::move(item));
}

template <typename List> const auto& slot(const List& list, std::int32_t i, const char* what) {
    if (i < 0 || static_cast<std::size_t>(i) >= list.size())
        throw std::out_of_range(what);
    return list[static_cast<std::size_t>(i)];
}

} // namespace

struct CD3DFrame::More {
    std::vector<CD3DFramePtr> children;
    // Every mesh, where the frame has more than one.
    std::vector<CD3DMeshPtr> meshes;
    FrameCallbackPtr preRender;
    std::int32_t preRenderId = 0;
    std::int32_t postRenderId = 0;
    FrameCallbackPtr postRender;
    // The inverse of m_world once m_inverseValid, made when first asked for: a scene of a million
    // frames is updated on every frame drawn, and few of their inverses are ever used.
    std::unique_ptr<platform::Matrix> inverseWorld;
    std::unique_ptr<Turn> turn;
};

CD3DFrame::More& CD3DFrame::more() const {
    if (!m_more)
        m_more = std::make_unique<More>();
    return *m_more;
}

const std::vector<CD3DFramePtr>& CD3DFrame::ChildFrames() const {
    static const std::vector<CD3DFramePtr> none;
    return m_more ? m_more->children : none;
}

std::span<const CD3DMeshPtr> CD3DFrame::ChildMeshes() const {
    if (m_meshCount <= 1)
        return {&m_mesh, m_meshCount};
    return m_more->meshes;
}

const FrameCallback* CD3DFrame::PreRenderCallback() const {
    return m_more ? m_more->preRender.get() : nullptr;
}

std::int32_t CD3DFrame::PreRenderId() const {
    return m_more ? m_more->preRenderId : 0;
}

CD3DFrame::~CD3DFrame() = default;

CD3DFramePtr CD3DFrame::Create() {
    return std::make_shared<CD3DFrame>(Key{});
}

CD3DFrame::CD3DFrame(Key) : m_local(Matrix::identity()) {
    g_identityMatrix = Matrix::identity();
}

void CD3DFrame::SetPreRenderCallback(FrameCallbackPtr cb, std::int32_t id) {
    more().preRender = std::move(cb);
    more().preRenderId = id;
}

void CD3DFrame::SetPostRenderCallback(FrameCallbackPtr cb, std::int32_t id) {
    more().postRender = std::move(cb);
    more().postRenderId = id;
}

void CD3DFrame::AddChild(CD3DFramePtr child) {
    append(more().children, std::move(child));
}

void CD3DFrame::SetPosition(const Vector3& vec) {
    m_position = vec;
    rebuildLocal();
}

void CD3DFrame::SetOrientation(const platform::Quaternion& quat) {
    ownTurn().orientation = quat;
    rebuildLocal();
}

void CD3DFrame::SetScale(float val) {
    ownTurn().scale = val;
    rebuildLocal();
}

void CD3DFrame::SetOrientationCenter(const Vector3& vec) {
    ownTurn().center = vec;
    rebuildLocal();
}

platform::Quaternion CD3DFrame::GetOrientation() const {
    return turn().orientation;
}

float CD3DFrame::GetScale() const {
    return turn().scale;
}

platform::Vector3 CD3DFrame::GetOrientationCenter() const {
    return turn().center;
}

const CD3DFrame::Turn& CD3DFrame::turn() const {
    static const Turn none;
    return m_more && m_more->turn ? *m_more->turn : none;
}

CD3DFrame::Turn& CD3DFrame::ownTurn() {
    std::unique_ptr<Turn>& t = more().turn;
    if (!t)
        t = std::make_unique<Turn>();
    return *t;
}

void CD3DFrame::AddMesh(CD3DMeshPtr childMesh) {
    if (m_meshCount == 0) {
        m_mesh = std::move(childMesh);
    } else {
        std::vector<CD3DMeshPtr>& meshes = more().meshes;
        if (m_meshCount == 1)
            meshes.push_back(std::move(m_mesh));
        append(meshes, std::move(childMesh));
    }
    ++m_meshCount;
}

void CD3DFrame::SetChildMesh(std::int32_t i, CD3DMeshPtr childMesh) {
    slot(ChildMeshes(), i, "CD3DFrame::SetChildMesh: subscript out of range");
    (m_meshCount == 1 ? m_mesh : m_more->meshes[static_cast<std::size_t>(i)]) = std::move(childMesh);
}

CD3DMeshPtr CD3DFrame::AddD3DXMesh(platform::MeshPtr mesh) {
    auto wrapper = std::make_shared<CD3DMesh>();
    wrapper->InitFromD3DXMesh(std::move(mesh));
    AddMesh(wrapper);
    return wrapper;
}

CD3DMeshPtr CD3DFrame::GetChildMesh(std::int32_t i) const {
    return slot(ChildMeshes(), i, "CD3DFrame::GetChildMesh: subscript out of range");
}

CD3DFramePtr CD3DFrame::GetChildFrame(std::int32_t i) const {
    return slot(ChildFrames(), i, "CD3DFrame::GetChildFrame: subscript out of range");
}

SceneObject CD3DFrame::FindChildObject(const CD3DFramePtr& frame, const QString& Name, std::int32_t flags) {
    if (!frame)
        return {};
    if (frame->ObjectName == Name)
        return {frame, nullptr};
    for (const auto& mesh : frame->ChildMeshes())
        if (mesh && mesh->ObjectName == Name)
            return {nullptr, mesh};
    for (const auto& child : frame->ChildFrames())
        if (SceneObject found = FindChildObject(child, Name, flags))
            return found;
    return {};
}

CD3DFramePtr CD3DFrame::FindChildParent(const CD3DFramePtr& frame, const QString& Name, std::int32_t flags) {
    if (!frame)
        return nullptr;
    for (const auto& mesh : frame->ChildMeshes())
        if (mesh && mesh->ObjectName == Name)
            return frame;
    for (const auto& child : frame->ChildFrames()) {
        if (!child)
            continue;
        if (child->ObjectName == Name)
            return frame;
        if (CD3DFramePtr found = FindChildParent(child, Name, flags))
            return found;
    }
    return nullptr;
}

void CD3DFrame::Destroy() {
    m_mesh.reset();
    m_meshCount = 0;
    if (m_more) {
        std::vector<CD3DMeshPtr>().swap(m_more->meshes);
        std::vector<CD3DFramePtr>().swap(m_more->children);
    }
}

namespace {

// Frame loading: the new frame joins its parent first, then takes the node's name, matrix, meshes
// and child frames.
void loadFrame(const std::shared_ptr<const XFile>& file, const aiNode& node, CD3DFrame& parent) {
    CD3DFramePtr frame = CD3DFrame::Create();
    parent.AddChild(frame);
    frame->ObjectName = XNodeName(node);
    frame->SetMatrix(XNodeMatrix(node));
    const XFileData meshes = XFileData::OfNode(file, node);
    if (!meshes.parts.empty()) {
        auto mesh = std::make_shared<CD3DMesh>();
        if (mesh->InitFromXOF(g_device, &meshes))
            frame->AddMesh(std::move(mesh));
    }
    for (const aiNode* child : XNodeChildren(node))
        loadFrame(file, *child, *frame);
}

} // namespace

bool CD3DFrame::InitFromFile(const CD3DFramePtr& frame, const platform::DevicePtr&, const QString& strFile,
                             const CD3DFramePtr& parent, const std::shared_ptr<CD3DAnimation>& animParent) {
    if (!frame)
        return false;
    const std::shared_ptr<const XFile> file = XFile::Open(FindMediaFile(strFile));
    if (!file)
        return false;

    for (const aiNode* top : file->topFrames())
        loadFrame(file, *top, *frame);
    if (const aiNode* top = file->topMeshes()) {
        const XFileData meshes = XFileData::OfNode(file, *top);
        auto mesh = std::make_shared<CD3DMesh>();
        if (mesh->InitFromXOF(g_device, &meshes))
            frame->AddMesh(std::move(mesh));
    }
    if (animParent) {
        for (const XAnimation& a : XAnimations(*file)) {
            auto anim = std::make_shared<CD3DAnimation>();
            anim->SetFrame(FindChildObject(frame, a.frameName).frame);
            for (const auto& key : a.rotateKeys)
                anim->AddRotateKey(key.time, key.value);
            for (const auto& key : a.scaleKeys)
                anim->AddScaleKey(key.time, key.value);
            for (const auto& key : a.positionKeys)
                anim->AddPositionKey(key.time, key.value);
            animParent->AddChild(std::move(anim));
        }
    }
    if (parent)
        parent->AddChild(frame);
    return true;
}

void CD3DFrame::SetFVF(const platform::DevicePtr&, std::uint32_t fvf) {
    for (const auto& mesh : ChildMeshes())
        if (mesh)
            mesh->SetFVF(g_device, fvf);
    for (const auto& child : ChildFrames())
        if (child)
            child->SetFVF(g_device, fvf);
}

void CD3DFrame::FlipNormals() {
    for (const auto& mesh : ChildMeshes())
        if (mesh)
            mesh->FlipNormals();
    for (const auto& child : ChildFrames())
        if (child)
            child->FlipNormals();
}

void CD3DFrame::ComputeNormals() {
    for (const auto& mesh : ChildMeshes())
        if (mesh)
            mesh->ComputeNormals();
    for (const auto& child : ChildFrames())
        if (child)
            child->ComputeNormals();
}

void CD3DFrame::Optimize() {
    for (const auto& mesh : ChildMeshes())
        if (mesh)
            mesh->Optimize();
    for (const auto& child : ChildFrames())
        if (child)
            child->Optimize();
}

void CD3DFrame::ComputeBoundingVolumes() {
    for (const auto& mesh : ChildMeshes())
        if (mesh)
            mesh->ComputeBoundingVolumes();
    for (const auto& child : ChildFrames())
        if (child)
            child->ComputeBoundingVolumes();
}

void CD3DFrame::UpdateFrames() {
    updateStep(g_identityMatrix);
}

void CD3DFrame::updateStep(const Matrix& parentWorld) {
    m_world = platform::MatrixMultiply(m_local, parentWorld);
    m_inverseValid = false;
    for (const auto& child : ChildFrames())
        if (child)
            child->updateStep(m_world);
}

void CD3DFrame::Render(const platform::DevicePtr&) {
    platform::Device& device = sharedDevice();
    const Matrix identity = Matrix::identity();
    device.setTransform(platform::TransformType::World, identity);
    renderTraversal(device, true, false, 0);
    device.setRenderState(platform::rs::AlphaBlendEnable, 1);
    device.setRenderState(platform::rs::SrcBlend, platform::rs::BlendSrcAlpha);
    device.setRenderState(platform::rs::DestBlend, platform::rs::BlendInvSrcAlpha);
    device.setTransform(platform::TransformType::World, identity);
    renderTraversal(device, false, true, 0);
    device.setRenderState(platform::rs::AlphaBlendEnable, 0);
}

void CD3DFrame::renderTraversal(platform::Device& device, bool drawOpaque, bool drawAlpha, int combineMode) {
    if (!Enabled)
        return;
    Matrix saved;
    if (combineMode == 0) {
        saved = device.getTransform(platform::TransformType::World);
        device.setTransform(platform::TransformType::World, platform::MatrixMultiply(m_local, saved));
    } else {
        device.setTransform(platform::TransformType::World, m_world);
    }
    if (m_more && m_more->preRender)
        m_more->preRender->DXCallback(m_more->preRenderId);
    // Indexed loops: a callback may add to the lists while they are walked.
    for (std::uint32_t i = 0; i < m_meshCount; ++i)
        if (CD3DMesh* mesh = (m_meshCount == 1 ? m_mesh : m_more->meshes[i]).get())
            mesh->RenderEx(g_device, drawOpaque, drawAlpha);
    for (std::size_t i = 0; m_more && i < m_more->children.size(); ++i)
        if (CD3DFrame* child = m_more->children[i].get())
            child->renderTraversal(device, drawOpaque, drawAlpha, combineMode);
    if (combineMode == 0)
        device.setTransform(platform::TransformType::World, saved);
    if (m_more && m_more->postRender)
        m_more->postRender->DXCallback(m_more->postRenderId);
}

void CD3DFrame::AddRotation(std::int32_t combinetype, float x, float y, float z, float angle) {
    combine(combinetype, platform::MatrixRotationAxis(Vector3{x, y, z}, angle));
}

void CD3DFrame::AddScale(std::int32_t combinetype, float x, float y, float z) {
    combine(combinetype, platform::MatrixScaling(x, y, z));
}

void CD3DFrame::AddTranslation(std::int32_t combinetype, float x, float y, float z) {
    combine(combinetype, platform::MatrixTranslation(x, y, z));
}

Vector3 CD3DFrame::TransformCoord(const Vector3& v) const {
    return platform::Vec3TransformCoord(v, m_world);
}

Vector3 CD3DFrame::TransformNormal(const Vector3& v) const {
    return platform::Vec3TransformNormal(v, m_world);
}

const Matrix& CD3DFrame::GetInverseMatrix() const {
    std::unique_ptr<Matrix>& inverseWorld = more().inverseWorld;
    if (!m_inverseValid) {
        if (!inverseWorld)
            inverseWorld = std::make_unique<Matrix>(); // zero until a world matrix has an inverse
        if (auto inverse = platform::MatrixInverse(m_world))
            *inverseWorld = *inverse;
        m_inverseValid = true;
    }
    return *inverseWorld;
}

Vector3 CD3DFrame::InverseTransformCoord(const Vector3& v) const {
    return platform::Vec3TransformCoord(v, GetInverseMatrix());
}

Vector3 CD3DFrame::InverseTransformNormal(const Vector3& v) const {
    return platform::Vec3TransformNormal(v, GetInverseMatrix());
}

void CD3DFrame::rebuildLocal() {
    const Turn& t = turn();
    m_local = platform::MatrixAffineTransformation(t.scale, &t.center, &t.orientation, &m_position);
}

void CD3DFrame::combine(std::int32_t combinetype, const Matrix& x) {
    switch (combinetype) {
    case COMBINE_PREMULTIPLY:
        m_local = platform::MatrixMultiply(x, m_local);
        break;
    case COMBINE_POSTMULTIPLY:
        m_local = platform::MatrixMultiply(m_local, x);
        break;
    case COMBINE_REPLACE:
        m_local = x;
        break;
    default:
        break;
    }
}
