// Model files: a hand-written .x file in text form and a binary one made here load into frames,
// meshes, materials, textures and animations; broken files load nothing.
#include "scene/D3DAnimation.h"
#include "scene/D3DFrame.h"
#include "scene/D3DMesh.h"
#include "scene_fixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstring>

using platform::Vector3;

namespace {

// A frame turned and moved, holding a frame whose quad has two materials (one textured and
// translucent), and an animation set: rotation, scale and position keys on the inner frame, one
// matrix key on the outer one.
const char kModel[] = R"(xof 0303txt 0032
Material Red { 1.0;0.0;0.0;1.0;; 10.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; }
Frame Root {
 FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 1.0,2.0,3.0,1.0;; }
 Frame Child {
  FrameTransformMatrix { 0.0,1.0,0.0,0.0, -1.0,0.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,5.0,1.0;; }
  Mesh Quad {
   4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;
   2; 3;0,2,1;, 3;0,3,2;;
   MeshMaterialList {
    2; 2; 0, 1;;
    { Red }
    Material Blue { 0.0;0.0;1.0;0.5;; 20.0; 1.0;1.0;1.0;; 0.1;0.2;0.3;; TextureFilename { "brick.bmp"; } }
   }
   MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }
   MeshTextureCoords { 4; 0.0;1.0;, 1.0;1.0;, 1.0;0.0;, 0.0;0.0;; }
  }
 }
}
AnimationSet Walk {
 Animation {
  { Child }
  AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 10;4;0.7071068,0.0,0.7071068,0.0;;; }
  AnimationKey { 1; 1; 0;3;2.0,2.0,2.0;;; }
  AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 10;3;1.0,2.0,3.0;;; }
 }
 Animation {
  { Root }
  AnimationKey { 4; 1; 5;16;1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 7.0,8.0,9.0,1.0;;; }
 }
}
)";

// The binary form, written token by token: a frame moved by (4, 5, 6) holding one triangle.
QByteArray binaryModel() {
    QByteArray b("xof 0303bin 0032");
    auto word = [&](quint16 w) { b.append(reinterpret_cast<const char*>(&w), 2); };
    auto dword = [&](quint32 d) { b.append(reinterpret_cast<const char*>(&d), 4); };
    auto name = [&](const char* n) { word(1), dword(static_cast<quint32>(std::strlen(n))), b.append(n); };
    auto ints = [&](std::initializer_list<quint32> v) {
        word(6), dword(static_cast<quint32>(v.size()));
        for (quint32 i : v)
            dword(i);
    };
    auto floats = [&](std::initializer_list<float> v) {
        word(7), dword(static_cast<quint32>(v.size()));
        for (float f : v)
            b.append(reinterpret_cast<const char*>(&f), 4);
    };
    name("Frame"), name("Bin"), word(0x0a);
    name("FrameTransformMatrix"), word(0x0a), floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}),
        word(0x0b);
    name("Mesh"), name("Tri"), word(0x0a), ints({3}), floats({0, 0, 0, 1, 0, 0, 0, 1, 0}),
        ints({1, 3, 0, 1, 2});
    word(0x0b), word(0x0b);
    return b;
}

class XFileTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        write("model.x", kModel);
        write("binary.x", binaryModel());
        QImage brick(4, 4, QImage::Format_RGB32);
        brick.fill(Qt::darkRed);
        ASSERT_TRUE(brick.save(m_dir.filePath("brick.bmp")));
        SetMediaFolder(m_dir.path()); // the model and its texture are found there by name
    }
    void TearDown() override {
        SetMediaFolder(QString());
        SceneTest::TearDown();
    }
    void write(const char* name, const QByteArray& bytes) {
        QFile f(m_dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(XFileTest, TextFileLoadsFramesMeshMaterialsAndAnimations) {
    const CD3DFramePtr root = CD3DFrame::Create(), parent = CD3DFrame::Create();
    const auto anims = std::make_shared<CD3DAnimation>();
    ASSERT_TRUE(CD3DFrame::InitFromFile(root, g_device, "model.x", parent, anims));
    ASSERT_EQ(parent->GetChildFrameCount(), 1);
    EXPECT_EQ(parent->GetChildFrame(0), root);
    ASSERT_EQ(root->GetChildFrameCount(), 1);
    const CD3DFramePtr outer = root->GetChildFrame(0);
    EXPECT_EQ(outer->ObjectName, "Root");
    EXPECT_TRUE(Near(Apply(outer->GetMatrix(), {0, 0, 0}), {1, 2, 3}));
    ASSERT_EQ(outer->GetChildFrameCount(), 1);
    const CD3DFramePtr inner = outer->GetChildFrame(0);
    EXPECT_EQ(inner->ObjectName, "Child");
    EXPECT_TRUE(Near(Apply(inner->GetMatrix(), {1, 0, 0}), {0, 1, 5})); // the file's rows, as written

    // One mesh, a subset per material; the file's winding, normals and texture coordinates.
    ASSERT_EQ(inner->GetChildMeshCount(), 1);
    const CD3DMesh& quad = *inner->GetChildMesh(0);
    EXPECT_EQ(quad.ObjectName, "Child"); // the parser names a mesh after its frame
    ASSERT_EQ(quad.GetMaterialCount(), 2);
    EXPECT_TRUE(quad.bUseMaterials);
    const platform::Material red = quad.GetMaterial(0), blue = quad.GetMaterial(1);
    EXPECT_EQ(red.diffuse.r, 1);
    EXPECT_EQ(red.ambient.r, 1);
    EXPECT_EQ(red.power, 10);
    EXPECT_EQ(red.specular.g, 0.5f);
    EXPECT_EQ(blue.diffuse.a, 0.5f);
    EXPECT_EQ(blue.ambient.b, 1);
    EXPECT_TRUE(Near(Vector3{blue.emissive.r, blue.emissive.g, blue.emissive.b}, {0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(quad.TextureNames(), (std::vector<QString>{"", "brick.bmp"}));
    EXPECT_EQ(quad.GetMaterialTexture(0), nullptr);
    EXPECT_NE(quad.GetMaterialTexture(1), nullptr);
    const platform::Mesh& m = *quad.mesh;
    ASSERT_EQ(m.fvf(), platform::FVF_POSITION_NORMAL_TEX1);
    ASSERT_EQ(m.faceCount(), 2);
    EXPECT_EQ(m.faceAttributes(), (std::vector<std::uint32_t>{0, 1}));
    const Vector3 first[] = {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}};
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(Near(m.position(m.indices()[k]), first[k])) << k;
    const std::uint32_t corner = m.indices()[1]; // (1, 1, 0): texture coordinates (1, 0)
    EXPECT_EQ(m.vertices()[corner * 8 + 6], 1);
    EXPECT_EQ(m.vertices()[corner * 8 + 7], 0);
    EXPECT_TRUE(Near(m.normal(corner), {0, 0, -1}));

    // The animations play the frames they name: at, between and beyond the keys.
    ASSERT_EQ(anims->GetChildCount(), 2);
    EXPECT_EQ(anims->GetChild(0)->GetFrame(), inner);
    EXPECT_EQ(anims->GetChild(1)->GetFrame(), outer);
    struct Case {
        float t;
        Vector3 origin, x; // where the inner frame takes (0, 0, 0) and (1, 0, 0)
    } cases[] = {
        {-5, {0, 0, 0}, {2, 0, 0}},
        {0, {0, 0, 0}, {2, 0, 0}},
        {5, {0.5f, 1, 1.5f}, {0.5f + 1.41421f, 1, 1.5f - 1.41421f}}, // half way: 45 degrees about Y
        {10, {1, 2, 3}, {1, 2, 1}},
        {50, {1, 2, 3}, {1, 2, 1}},
    };
    for (const Case& c : cases) {
        anims->SetTime(c.t);
        EXPECT_TRUE(Near(Apply(inner->GetMatrix(), {0, 0, 0}), c.origin)) << c.t;
        EXPECT_TRUE(Near(Apply(inner->GetMatrix(), {1, 0, 0}), c.x, 1e-4f)) << c.t;
        EXPECT_TRUE(Near(Apply(outer->GetMatrix(), {1, 0, 0}), {8, 8, 9})) << c.t; // the matrix key
    }
}

TEST_F(XFileTest, BinaryFileAndWholeFileMesh) {
    const CD3DFramePtr root = CD3DFrame::Create();
    ASSERT_TRUE(CD3DFrame::InitFromFile(root, g_device, m_dir.filePath("binary.x"), nullptr, nullptr));
    ASSERT_EQ(root->GetChildFrameCount(), 1);
    const CD3DFramePtr bin = root->GetChildFrame(0);
    EXPECT_EQ(bin->ObjectName, "Bin");
    EXPECT_TRUE(Near(Apply(bin->GetMatrix(), {0, 0, 0}), {4, 5, 6}));
    ASSERT_EQ(bin->GetChildMeshCount(), 1);
    const platform::Mesh& tri = *bin->GetChildMesh(0)->mesh;
    ASSERT_EQ(tri.faceCount(), 1);
    EXPECT_TRUE(Near(tri.position(tri.indices()[1]), {1, 0, 0}));
    EXPECT_TRUE(Near(tri.normal(0), {0, 0, 1})); // none in the file: computed, on the front face

    // The whole text file as one mesh: each vertex placed by its frames, the name kept.
    CD3DMesh whole;
    whole.ObjectName = "keep";
    ASSERT_TRUE(whole.InitFromFile(g_device, "model.x"));
    EXPECT_EQ(whole.ObjectName, "keep");
    EXPECT_EQ(whole.GetMaterialCount(), 2);
    const Vector3 corner = whole.mesh->position(whole.mesh->indices()[2]); // the quad's (1, 0, 0)
    EXPECT_TRUE(Near(corner, {1, 3, 8}));
}

TEST_F(XFileTest, BrokenFilesLoadNothing) {
    const QByteArray text(kModel), binary = binaryModel();
    auto seed = [](const char* name) {
        QFile f(QStringLiteral(KETRA_XFILE_SEEDS "/") + QLatin1String(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray crashing = seed("parser-crash.x"), huge = seed("parser-huge-count.x");
    ASSERT_TRUE(crashing.startsWith("xof ") && huge.startsWith("xof "));
    const std::pair<const char*, QByteArray> broken[] = {
        {"empty", {}},
        {"not a model", "Frame A { }"},
        {"header only", "xof 0303txt 0032\n"},
        {"cut in a mesh", text.left(text.indexOf("MeshNormals"))},
        {"cut in an animation", text.left(text.indexOf("AnimationKey { 2;"))},
        {"binary cut short", binary.left(binary.size() - 30)},
        {"binary count past the end", binary.left(16) + QByteArray::fromHex("010005000000") + "Frame" +
                                          QByteArray::fromHex("0100ffffff7f")},
        {"one the parser crashes on", crashing},
        {"a count asking for gigabytes", huge},
    };
    for (const auto& [what, bytes] : broken) {
        SCOPED_TRACE(what);
        write("broken.x", bytes);
        const CD3DFramePtr root = CD3DFrame::Create(), parent = CD3DFrame::Create();
        const auto anims = std::make_shared<CD3DAnimation>();
        EXPECT_FALSE(CD3DFrame::InitFromFile(root, g_device, "broken.x", parent, anims));
        EXPECT_EQ(root->GetChildFrameCount() + root->GetChildMeshCount() + parent->GetChildFrameCount(), 0);
        EXPECT_EQ(anims->GetChildCount(), 0);
        CD3DMesh mesh;
        EXPECT_FALSE(mesh.InitFromFile(g_device, "broken.x"));
        EXPECT_EQ(mesh.mesh, nullptr);
    }
    EXPECT_FALSE(CD3DFrame::InitFromFile(CD3DFrame::Create(), g_device, "missing.x", nullptr, nullptr));
}
