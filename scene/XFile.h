// Model files in the DirectX .x format (text, binary and compressed) as the scene framework loads
// them: frames with their transform matrices and meshes, materials and texture names, and animation
// sets with their keys. The Open Asset Importer parses the file; this is the one place that knows
// its types.
//
// The importer keeps the file's own positions, winding, texture coordinates, frame matrices and
// key values, with these differences from the file that every loaded model shows:
// - A frame's meshes come as one mesh per material that its faces use, and every mesh is named after
//   the frame that holds it (the file's mesh names are not kept). A frame's meshes therefore load
//   as one mesh with one subset per (mesh, material), in file order, named after the frame.
// - A material that no face uses is not kept.
// - Matrix keys come as the scale, rotation and position keys they decompose into, at the same times.
// - An animation names its frame by reference ({ name }); a frame written inside an animation is
//   skipped.
// - Meshes written outside any frame, in a file whose only top-level frame is F, come as meshes of F.
#pragma once

#include "platform/Mesh.h"
#include "platform/Types.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct aiScene;
struct aiNode;
namespace Assimp {
class Importer;
}

class XFile {
public:
    // Reads a model file. Only data that starts with the format's signature ("xof ") reaches the
    // parser, which runs in a child process of its own (what it leaks, over-allocates or breaks on
    // with a broken file stays there), for at most 30 seconds a file. Null when the file can't be
    // read, is larger than kMaxBytes, or is not a well-formed model.
    static std::shared_ptr<const XFile> Open(const QString& path);
    static std::shared_ptr<const XFile> FromMemory(const QByteArray& data);
    static constexpr qint64 kMaxBytes = 256 << 20;
    // The time a file may take the parser (30 s unless set; at least 1 s). A tool that parses
    // many made-up files, such as the fuzz target, sets it lower.
    static void SetParseTimeLimit(int seconds);

    ~XFile();
    XFile(const XFile&) = delete;
    XFile& operator=(const XFile&) = delete;

    const aiScene& scene() const { return *m_scene; }
    // The frames written at the top level of the file, in file order.
    std::vector<const aiNode*> topFrames() const;
    // The node that holds the meshes written outside any frame (null when there are none apart).
    const aiNode* topMeshes() const;

private:
    XFile(std::unique_ptr<Assimp::Importer> importer, const aiScene* scene);
    std::unique_ptr<Assimp::Importer> m_importer;
    const aiScene* m_scene;
};

// A mesh data object of a model file: the importer's meshes that make it, each with the matrix that
// places its vertices (identity for a frame's own meshes; the frame's world matrix when a whole
// file is read as one mesh).
class XFileData {
public:
    struct Part {
        unsigned mesh = 0; // index into the scene's meshes
        platform::Matrix transform = platform::Matrix::identity();
    };
    std::shared_ptr<const XFile> file;
    QString name;
    std::vector<Part> parts;

    // The meshes of `node` (a frame, or the node of the meshes outside any frame), named after the
    // frame (the file's own mesh names are not kept; meshes outside any frame have none).
    static XFileData OfNode(std::shared_ptr<const XFile> file, const aiNode& node);
    // Every mesh of the file, each placed by its frame's world matrix.
    static XFileData OfWholeFile(std::shared_ptr<const XFile> file);
};

// What a mesh data object holds: the geometry (position, normal and, when every part has them,
// one set of texture coordinates; normals computed when a part has none), one subset per part in
// order, and each subset's material (ambient replaced by diffuse) and texture file name.
struct XMeshContents {
    platform::MeshPtr mesh;
    std::vector<platform::Material> materials;
    std::vector<QString> textureNames;
};
// Null when a part's data is inconsistent (an index past its vertices, a missing material).
std::optional<XMeshContents> ReadXMesh(const XFileData& data);

// A frame node's name, transform matrix (row vectors, as the scene framework uses them) and child
// frames in file order.
QString XNodeName(const aiNode& node);
platform::Matrix XNodeMatrix(const aiNode& node);
std::vector<const aiNode*> XNodeChildren(const aiNode& node);

// One animation of an animation set: the frame it moves and its keys in file order. Times are the
// file's ticks. Rotation keys are the file's quaternions (the parser hands them back with w
// negated; this undoes it).
struct XAnimation {
    template <typename T> struct Key {
        std::int32_t time;
        T value;
    };
    QString frameName;
    std::vector<Key<platform::Quaternion>> rotateKeys;
    std::vector<Key<platform::Vector3>> scaleKeys;
    std::vector<Key<platform::Vector3>> positionKeys;
};
// Every animation of every animation set, in file order.
std::vector<XAnimation> XAnimations(const XFile& file);
