// The model file reader: the file's own vertices, corner order, texture coordinates, colours and
// material order come back; broken files are reported with their name and reason.
#include "make-model/board_mesh.h"
#include "test_folder.h"
#include "view3d/xmesh.h"

#include <gtest/gtest.h>

using namespace zento;

namespace {

using Files = zento_test::TempDir;

std::string load_error(const std::string& path) {
    try {
        load_x_mesh(path);
    } catch (const XLoadError& e) {
        return e.what();
    }
    return "(no error)";
}

const char* const kTwoMaterials = R"(xof 0303txt 0032
Frame F {
 FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 2.0,0.0,0.0,1.0;; }
 Mesh tri {
  3;
  0.0;0.0;0.0;,
  1.0;0.0;0.0;,
  1.0;1.0;0.5;;
  1;
  3;0,1,2;;
  MeshMaterialList {
   2; 1; 1;;
   Material Plain { 0.0;1.0;0.0;1.0;; 5.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; TextureFilename { ""; } }
   Material Bumpy { 1.0;0.0;0.0;0.5;; 7.0; 0.5;0.5;0.5;; 0.1;0.2;0.3;; TextureFilename { "my_bump.bmp"; } }
  }
 }
}
)";

} // namespace

TEST(XMesh, BoardModelComesBackAsTheFileHoldsIt) {
    Files files;
    const model::Mesh src = model::board_mesh();
    const auto mesh = load_x_mesh(files.put("liti8.x", model::write_x(src)));
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->materials.size(), src.materials.size());
    ASSERT_EQ(mesh->subsets.size(), src.materials.size());
    EXPECT_EQ(mesh->triangle_count(), src.triangles.size());

    for (std::size_t i = 0; i < src.materials.size(); ++i) {
        const model::Material& want = src.materials[i];
        const XMaterial& got = mesh->materials[i];
        EXPECT_EQ(got.texture, want.texture) << "material " << i;
        EXPECT_FLOAT_EQ(got.Diffuse[0], want.diffuse.r) << "material " << i;
        EXPECT_FLOAT_EQ(got.Diffuse[1], want.diffuse.g) << "material " << i;
        EXPECT_FLOAT_EQ(got.Diffuse[2], want.diffuse.b) << "material " << i;
        EXPECT_FLOAT_EQ(got.Power, want.power) << "material " << i;
    }

    // Subset i holds material i's triangles, in the file's order, with the file's corners:
    // left-handed positions (+Z away from the viewer), v = 0 at the image's top, the file's own
    // corner order (so the winding), the vertex colours.
    std::vector<std::size_t> next(src.materials.size(), 0);
    for (const model::Triangle& t : src.triangles) {
        const auto& subset = mesh->subsets[std::size_t(t.material)];
        std::size_t& k = next[std::size_t(t.material)];
        ASSERT_LE(k + 3, subset.size());
        for (int c = 0; c < 3; ++c, ++k) {
            const model::Vertex& want = src.vertices[std::size_t(t.corner[c])];
            const XVertex& got = subset[k];
            const float w[8] = {want.p.x, want.p.y, want.p.z, want.u,
                                want.v,   want.c.r, want.c.g, want.c.b};
            const float g[8] = {got.position[0], got.position[1], got.position[2], got.uv[0],
                                got.uv[1],       got.colour[0],   got.colour[1],   got.colour[2]};
            for (int i = 0; i < 8; ++i)
                ASSERT_NEAR(g[i], w[i], 1e-6) << "corner " << k << " of material " << t.material;
        }
    }
}

TEST(XMesh, MissingColoursAreWhiteAndMissingCoordinatesZero) {
    Files files;
    model::Mesh m;
    m.materials = {{"M", {0.2f, 0.3f, 0.4f, 1}, 0, {0, 0, 0, 1}, {0, 0, 0, 1}, ""}};
    m.add_box({0, 0, 0}, {0.5f, 0.5f, 0.5f}, 0, {1, 0, 0, 1}, {1, 0, 0, 1});
    m.vertex_colours = false;
    m.texture_coords = false;
    const auto mesh = load_x_mesh(files.put("box.x", model::write_x(m)));
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->triangle_count(), 12u);
    for (const XVertex& v : mesh->subsets[0]) {
        EXPECT_EQ(v.colour, (std::array<float, 4>{1, 1, 1, 1}));
        EXPECT_EQ(v.uv, (std::array<float, 2>{0, 0}));
    }
}

TEST(XMesh, FrameTransformsApplyAndTextureNamesAreFoundWhateverTheirKind) {
    Files files;
    const auto mesh = load_x_mesh(files.put("f.x", kTwoMaterials));
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->materials.size(), 2u);
    EXPECT_TRUE(mesh->subsets[0].empty()); // material 0 is not used by any face
    ASSERT_EQ(mesh->subsets[1].size(), 3u);
    // The frame moves the mesh 2 along +X.
    EXPECT_EQ(mesh->subsets[1][0].position, (std::array<float, 3>{2, 0, 0}));
    EXPECT_EQ(mesh->subsets[1][2].position, (std::array<float, 3>{3, 1, 0.5f}));
    EXPECT_EQ(mesh->materials[0].texture, "");
    // A name with "bump" in it is still this material's texture.
    EXPECT_EQ(mesh->materials[1].texture, "my_bump.bmp");
    EXPECT_FLOAT_EQ(mesh->materials[1].Diffuse[3], 0.5f);
    EXPECT_FLOAT_EQ(mesh->materials[1].Emissive[2], 0.3f);
    EXPECT_FLOAT_EQ(mesh->materials[1].Specular[0], 0.5f);
}

TEST(XMesh, FileWithoutAMeshLoadsAsNoMesh) {
    Files files;
    const auto path =
        files.put("frame.x", "xof 0303txt 0032\nFrame F { FrameTransformMatrix { 1.0,0.0,0.0,0.0, "
                             "0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; } }\n");
    EXPECT_FALSE(load_x_mesh(path).has_value());
}

TEST(XMesh, BrokenFilesAreReportedWithNameAndReason) {
    Files files;
    const std::string whole = model::write_x(model::board_mesh());
    const std::pair<std::string, const char*> cases[] = {
        {files / "liti8.x", "No such file or directory"},
        {files.path().string(), "directory"},
        {files.put("empty.x", ""), "not a DirectX .x file"},
        {files.put("obj.x", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), "not a DirectX .x file"},
        {files.put("cut.x", whole.substr(0, whole.size() / 2)), ""},
        {files.put("header.x", "xof 0303txt 0032\n"), ""},
    };
    for (const auto& [path, reason] : cases) {
        const std::string e = load_error(path);
        EXPECT_NE(e.find(path), std::string::npos) << e;
        EXPECT_NE(e.find(reason), std::string::npos) << e;
        EXPECT_GT(e.size(), path.size() + 6) << "a reason follows the name: " << e;
    }
    // A face with a corner past the vertex list: reported, or the bad face left out.
    std::string bad_index = kTwoMaterials;
    bad_index.replace(bad_index.find("3;0,1,2;;"), 9, "3;0,1,9;;");
    const auto bad = files.put("bad.x", bad_index);
    try {
        if (const auto mesh = load_x_mesh(bad))
            for (const auto& sub : mesh->subsets)
                EXPECT_EQ(sub.size() % 3, 0u);
    } catch (const XLoadError& err) {
        EXPECT_NE(std::string(err.what()).find(bad), std::string::npos);
    }
}
