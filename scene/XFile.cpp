#include "XFile.h"

#include "platform/Math.h"

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The parser leaks what it had read of a broken file, and a few bytes of a count can make it
// reserve gigabytes, or crash it. So it runs in a child process that is started with the first
// file and stays for the next ones: it reads a file from its socket and answers with the scene in
// the importer's own binary dump. A child that breaks off, runs past the time limit or has grown
// past kParserBytes is ended; the next file starts a new one. Files are parsed one at a time.
std::atomic<int> g_parseSeconds{30};
constexpr long long kParserBytes = 512ll << 20;
// The parser takes counts at their word and makes up data past the end of a list: a file of a
// few hundred bytes can claim millions of vertices. A scene much larger than its file can't have
// come from the file's data, and is refused.
constexpr std::size_t kDumpPerFileByte = 64;
constexpr std::size_t kDumpSlack = 1 << 20;

bool sendAll(int fd, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, at, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly `size` bytes; with a deadline, gives up when it passes.
bool receiveAll(int fd, void* data, std::size_t size,
                std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
        }
        const ssize_t n = ::recv(fd, at, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The child's side: files in, dumps out, until the socket closes.
[[noreturn]] void serveParses(int fd) {
    for (;;) {
        std::uint64_t size = 0;
        if (!receiveAll(fd, &size, sizeof size) || size > static_cast<std::uint64_t>(XFile::kMaxBytes))
            ::_exit(0);
        std::string file(static_cast<std::size_t>(size), '\0');
        if (!receiveAll(fd, file.data(), file.size()))
            ::_exit(0);
        std::string dump;
        try {
            Assimp::Importer importer;
            const unsigned flags = aiProcess_ConvertToLeftHanded | aiProcess_Triangulate |
                                   aiProcess_JoinIdenticalVertices | aiProcess_ValidateDataStructure;
            const aiScene* scene = importer.ReadFileFromMemory(file.data(), file.size(), flags, "x");
            if (scene && scene->mRootNode && (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) == 0) {
                Assimp::Exporter exporter;
                const aiExportDataBlob* blob = exporter.ExportToBlob(scene, "assbin");
                if (blob && blob->size <= kDumpPerFileByte * file.size() + kDumpSlack)
                    dump.assign(static_cast<const char*>(blob->data), blob->size);
            }
        } catch (...) {
            dump.clear();
        }
        const std::uint64_t answer = dump.size();
        if (!sendAll(fd, &answer, sizeof answer) || !sendAll(fd, dump.data(), dump.size()))
            ::_exit(0);
    }
}

class ParserChild {
public:
    ~ParserChild() { stop(); }

    // The dump of `file`'s scene; nothing when it can't be parsed.
    std::optional<std::string> parse(const QByteArray& file) {
        if (m_pid < 0 && !start())
            return std::nullopt;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(g_parseSeconds.load());
        const std::uint64_t size = static_cast<std::uint64_t>(file.size());
        std::uint64_t answer = 0;
        std::string dump;
        if (!sendAll(m_fd, &size, sizeof size) || !sendAll(m_fd, file.constData(), file.size()) ||
            !receiveAll(m_fd, &answer, sizeof answer, deadline) ||
            answer > kDumpPerFileByte * static_cast<std::uint64_t>(file.size()) + kDumpSlack) {
            stop();
            return std::nullopt;
        }
        dump.resize(static_cast<std::size_t>(answer));
        if (!receiveAll(m_fd, dump.data(), dump.size(), deadline)) {
            stop();
            return std::nullopt;
        }
        if (residentBytes() > kParserBytes)
            stop();
        if (dump.empty())
            return std::nullopt;
        return dump;
    }

private:
    bool start() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return false;
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
        if (pid == 0) {
            // Nothing of the parent's but the socket stays open in the child (a pipe's reader
            // would otherwise wait for this copy of its writing end), and the child goes with it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fd = fds[1] == 3 ? 3 : ::dup2(fds[1], 3);
            if (fd != 3)
                ::_exit(1);
            ::close_range(4, ~0u, 0);
            serveParses(3);
        }
        ::close(fds[1]);
        m_pid = pid;
        m_fd = fds[0];
        return true;
    }

    void stop() {
        if (m_pid < 0)
            return;
        ::close(m_fd);
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        m_fd = -1;
    }

    long long residentBytes() const {
        std::FILE* f = std::fopen(("/proc/" + std::to_string(m_pid) + "/statm").c_str(), "r");
        long long pages = 0, resident = 0;
        if (f) {
            if (std::fscanf(f, "%lld %lld", &pages, &resident) != 2)
                resident = 0;
            std::fclose(f);
        }
        return resident * ::sysconf(_SC_PAGESIZE);
    }

    pid_t m_pid = -1;
    int m_fd = -1;
};

std::optional<std::string> parseInChild(const QByteArray& data) {
    static std::mutex lock;
    static ParserChild child;
    std::lock_guard hold(lock);
    return child.parse(data);
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
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    return FromMemory(data);
}

void XFile::SetParseTimeLimit(int seconds) {
    g_parseSeconds = std::max(seconds, 1);
}

std::shared_ptr<const XFile> XFile::FromMemory(const QByteArray& data) {
    // Nothing but a .x file reaches the parser: the importer would otherwise guess among every
    // format it knows.
    if (!data.startsWith("xof ") || data.size() > kMaxBytes)
        return nullptr;
    const std::optional<std::string> dump = parseInChild(data);
    if (!dump)
        return nullptr;
    auto importer = std::make_unique<Assimp::Importer>();
    const aiScene* scene = nullptr;
    try {
        scene = importer->ReadFileFromMemory(dump->data(), dump->size(), 0, "assbin");
    } catch (const std::exception&) {
        return nullptr;
    }
    if (!scene || !scene->mRootNode)
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
    // The file's mesh names are lost in parsing: a frame's meshes take the frame's name.
    if (!isParserRoot(node))
        data.name = XNodeName(node);
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
