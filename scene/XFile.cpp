#include "XFile.h"

#include "platform/Math.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>

#include <cmath>
#include <limits>

namespace {

// Nodes the parser makes to hold several top-level frames, or meshes written outside any frame.
bool isParserRoot(const aiNode& node) {
    const QLatin1String name(node.mName.C_Str());
    return name == QLatin1String("$dummy_root") || name == QLatin1String("$dummy_node");
}

QString text(const aiString& s) {
    return QString::fromUtf8(s.C_Str(), static_cast<qsizetype>(s.length));
}

std::int32_t tickOf(double time) {
    if (!std::isfinite(time))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::lround(std::fmin(std::fmax(time, lo), hi)));
}

platform::ColorValue colour(const aiMaterial& m, const char* key, unsigned type, unsigned index,
                            const platform::ColorValue& otherwise) {
    aiColor4D c;
    if (m.Get(key, type, index, c) != AI_SUCCESS)
        return otherwise;
    return {c.r, c.g, c.b, c.a};
}

platform::Material materialOf(const aiMaterial& m) {
    platform::Material out;
    out.diffuse = colour(m, AI_MATKEY_COLOR_DIFFUSE, {1, 1, 1, 1});
    out.ambient = out.diffuse;
    out.specular = colour(m, AI_MATKEY_COLOR_SPECULAR, {0, 0, 0, 1});
    out.emissive = colour(m, AI_MATKEY_COLOR_EMISSIVE, {0, 0, 0, 1});
    float power = 0;
    if (m.Get(AI_MATKEY_SHININESS, power) == AI_SUCCESS)
        out.power = power;
    return out;
}

void collectWholeFile(const aiNode& node, const platform::Matrix& parentWorld, XFileData& out) {
    const platform::Matrix world = XNodeMatrix(node) * parentWorld;
    for (unsigned i = 0; i < node.mNumMeshes; ++i)
        out.parts.push_back({node.mMeshes[i], world});
    for (unsigned i = 0; i < node.mNumChildren; ++i)
        if (node.mChildren[i])
            collectWholeFile(*node.mChildren[i], world, out);
}

} // namespace

XFile::XFile(std::unique_ptr<Assimp::Importer> importer, const aiScene* scene)
    : m_importer(std::move(importer)), m_scene(scene) {}

XFile::~XFile() = default;

std::shared_ptr<const XFile> XFile::Open(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes)
        return nullptr;
    const QByteArray data = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    return FromMemory(data);
}

std::shared_ptr<const XFile> XFile::FromMemory(const QByteArray& data) {
    // Nothing but a .x file reaches the parser: the importer would otherwise guess among every
    // format it knows.
    if (!data.startsWith("xof ") || data.size() > kMaxBytes)
        return nullptr;
    auto importer = std::make_unique<Assimp::Importer>();
    const unsigned flags = aiProcess_ConvertToLeftHanded | aiProcess_Triangulate |
                           aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure;
    const aiScene* scene = nullptr;
    try {
        scene =
            importer->ReadFileFromMemory(data.constData(), static_cast<std::size_t>(data.size()), flags, "x");
    } catch (const std::exception&) {
        return nullptr;
    }
    if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0)
        return nullptr;
    return std::shared_ptr<const XFile>(new XFile(std::move(importer), scene));
}

std::vector<const aiNode*> XFile::topFrames() const {
    const aiNode& root = *m_scene->mRootNode;
    if (!isParserRoot(root))
        return {&root};
    return XNodeChildren(root);
}

const aiNode* XFile::topMeshes() const {
    const aiNode& root = *m_scene->mRootNode;
    return isParserRoot(root) && root.mNumMeshes > 0 ? &root : nullptr;
}

QString XNodeName(const aiNode& node) {
    return text(node.mName);
}

platform::Matrix XNodeMatrix(const aiNode& node) {
    // The parser's matrices act on column vectors: ours (row vectors) are their transpose.
    platform::Matrix m;
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c)
            m.m[r][c] = node.mTransformation[c][r];
    return m;
}

std::vector<const aiNode*> XNodeChildren(const aiNode& node) {
    std::vector<const aiNode*> children;
    for (unsigned i = 0; i < node.mNumChildren; ++i)
        if (node.mChildren[i])
            children.push_back(node.mChildren[i]);
    return children;
}

XFileData XFileData::OfNode(std::shared_ptr<const XFile> file, const aiNode& node) {
    XFileData data;
    for (unsigned i = 0; i < node.mNumMeshes; ++i)
        data.parts.push_back({node.mMeshes[i], platform::Matrix::identity()});
    if (!data.parts.empty() && data.parts.front().mesh < file->scene().mNumMeshes)
        data.name = text(file->scene().mMeshes[data.parts.front().mesh]->mName);
    data.file = std::move(file);
    return data;
}

XFileData XFileData::OfWholeFile(std::shared_ptr<const XFile> file) {
    XFileData data;
    collectWholeFile(*file->scene().mRootNode, platform::Matrix::identity(), data);
    data.file = std::move(file);
    return data;
}

std::optional<XMeshContents> ReadXMesh(const XFileData& data) {
    if (!data.file)
        return std::nullopt;
    const aiScene& scene = data.file->scene();
    bool withUV = true, withNormals = true;
    for (const XFileData::Part& part : data.parts) {
        if (part.mesh >= scene.mNumMeshes || !scene.mMeshes[part.mesh])
            return std::nullopt;
        const aiMesh& m = *scene.mMeshes[part.mesh];
        withUV = withUV && m.HasTextureCoords(0);
        withNormals = withNormals && m.HasNormals();
    }
    const std::uint32_t fvf =
        platform::FVF_POSITION_NORMAL | (withUV ? std::uint32_t{platform::FVF_TEX1} : 0u);

    XMeshContents out;
    std::vector<float> vertices;
    std::vector<std::uint32_t> indices, attributes;
    for (std::size_t subset = 0; subset < data.parts.size(); ++subset) {
        const XFileData::Part& part = data.parts[subset];
        const aiMesh& m = *scene.mMeshes[part.mesh];
        if (m.mMaterialIndex >= scene.mNumMaterials || !scene.mMaterials[m.mMaterialIndex])
            return std::nullopt;
        const std::size_t base = vertices.size() / platform::FloatsPerVertex(fvf);
        if (base + m.mNumVertices > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
        const bool moved = !platform::MatrixIsIdentity(part.transform);
        for (unsigned v = 0; v < m.mNumVertices; ++v) {
            platform::Vector3 p{m.mVertices[v].x, m.mVertices[v].y, m.mVertices[v].z};
            platform::Vector3 n;
            if (m.HasNormals())
                n = {m.mNormals[v].x, m.mNormals[v].y, m.mNormals[v].z};
            if (moved) {
                p = platform::Vec3TransformCoord(p, part.transform);
                n = platform::Vec3Normalize(platform::Vec3TransformNormal(n, part.transform));
            }
            vertices.insert(vertices.end(), {p.x, p.y, p.z, n.x, n.y, n.z});
            if (withUV)
                vertices.insert(vertices.end(), {m.mTextureCoords[0][v].x, m.mTextureCoords[0][v].y});
        }
        for (unsigned f = 0; f < m.mNumFaces; ++f) {
            const aiFace& face = m.mFaces[f];
            if (face.mNumIndices != 3) // points and lines have no surface to draw
                continue;
            for (unsigned k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= m.mNumVertices)
                    return std::nullopt;
                indices.push_back(static_cast<std::uint32_t>(base + face.mIndices[k]));
            }
            attributes.push_back(static_cast<std::uint32_t>(subset));
        }
        const aiMaterial& material = *scene.mMaterials[m.mMaterialIndex];
        out.materials.push_back(materialOf(material));
        aiString texture;
        out.textureNames.push_back(material.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS
                                       ? text(texture)
                                       : QString());
    }
    try {
        out.mesh = std::make_shared<platform::Mesh>(fvf, std::move(vertices), std::move(indices),
                                                    std::move(attributes));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
    if (!withNormals)
        out.mesh->computeNormals();
    return out;
}

std::vector<XAnimation> XAnimations(const XFile& file) {
    std::vector<XAnimation> out;
    const aiScene& scene = file.scene();
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation* set = scene.mAnimations[a];
        if (!set)
            continue;
        for (unsigned c = 0; c < set->mNumChannels; ++c) {
            const aiNodeAnim* channel = set->mChannels[c];
            if (!channel)
                continue;
            XAnimation anim;
            anim.frameName = text(channel->mNodeName);
            for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) {
                const aiQuatKey& key = channel->mRotationKeys[k];
                anim.rotateKeys.push_back(
                    {tickOf(key.mTime), {key.mValue.x, key.mValue.y, key.mValue.z, -key.mValue.w}});
            }
            for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) {
                const aiVectorKey& key = channel->mScalingKeys[k];
                anim.scaleKeys.push_back({tickOf(key.mTime), {key.mValue.x, key.mValue.y, key.mValue.z}});
            }
            for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) {
                const aiVectorKey& key = channel->mPositionKeys[k];
                anim.positionKeys.push_back({tickOf(key.mTime), {key.mValue.x, key.mValue.y, key.mValue.z}});
            }
            out.push_back(std::move(anim));
        }
    }
    return out;
}
