// The model file reader: the file's own vertices, corner order, texture coordinates, colours and
// material order come back; broken files are reported with their name and reason.
#include "make-model/board_mesh.h"
#include "test_folder.h"
#include "test_paths.h"
#include "view3d/xmesh.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

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
        {files.path().string(), "it is a folder"},
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
}

namespace {

std::string parse_error(const std::string& text) {
    try {
        parse_x_mesh(text, "m.x");
    } catch (const XLoadError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string mesh_with(const std::string& inside) {
    return "xof 0303txt 0032\nMesh m {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n3;0,1,2;;\n" + inside +
           "\n}\n";
}

// The shape of the file that crashed the previous reader (a null read inside the library's .x
// parser): a material list whose Material is a misspelt block.
const char* const kCrashInput = "xof 0303txt 0032\nMesh m {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n3;0,1,"
                                "2;;\nMeshMaterialList {1;1;0;extureFilename { \"t.bmp\"; }\n}}}\n";

} // namespace

// Every way a file can be wrong gets the file's name, the line and what is wrong, and nothing is
// allocated from a count the file does not back.
TEST(XMesh, MalformedFilesAreRefusedWithTheLineAndTheReason) {
    const std::string nested = [] {
        std::string s = "xof 0303txt 0032\n";
        for (int i = 0; i < 65; ++i)
            s += "Frame f {\n";
        return s + "Mesh m { 0; 0; }" + std::string(65, '}');
    }();
    const struct {
        std::string text;
        const char* reason;
        int line;
    } cases[] = {
        {kCrashInput, "MeshMaterialList announces 1 materials and holds 0", 7},
        {"xof 0303bin 0032\x01\x02\x03", "binary .x file", 1},
        {"xof 0303tzip0032xxxx", "compressed .x file", 1},
        {"xof 0303txt 0032\nMesh m {\n 2147483647;\n 0;0;0;;\n}\n",
         "vertex count 2147483647 is more", 3},
        {"xof 0303txt 0032\nMesh m {\n 99999999999;\n", "vertex count 99999999999 is out of range",
         3},
        {"xof 0303txt 0032\nMesh m {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n3;0,1,9;;\n}\n",
         "face 0 names vertex 9 of a mesh with 3 vertices", 6},
        {"xof 0303txt 0032\nMesh m {\n1;\n0;0;nan;;\n0;\n}\n", "expected a vertex coordinate", 4},
        {"xof 0303txt 0032\nMesh m {\n1;\n0;0;1e99;;\n0;\n}\n", "\"1e99\" is out of range", 4},
        {mesh_with("MeshTextureCoords {\n2;\n0;0;,1;1;;\n}"), "2 texture coordinates for 3", 8},
        {mesh_with("MeshVertexColors {\n1;\n3;1;1;1;1;;\n}"), "a colour for vertex 3", 9},
        {mesh_with("MeshMaterialList {\n1;\n1;\n2;;\nMaterial { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n}"),
         "face 0 uses material 2 of a list of 1", 10},
        {mesh_with("MeshMaterialList {\n1;\n0;;\nMaterial { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n}"),
         "gives no material", 7},
        {mesh_with("MeshMaterialList { 1; 1; 0;;\n{ Nowhere }\n}"), "\"Nowhere\" is not declared",
         8},
        {mesh_with("MeshMaterialList { 1; 1; 0;;\nMaterial { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;\n"
                   "TextureFilename { \"a\tb.bmp\"; } } }"),
         "control character", 9},
        {mesh_with("MeshMaterialList { 1; 1; 0;;\nMaterial { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;\n"
                   "TextureFilename { \"a.bmp; } } }"),
         "a string is not closed", 9},
        {"xof 0303txt 0032\nMesh m {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n3;0,1,2;;\nMeshNormals {\n",
         "the block opened here is not closed", 7},
        {"xof 0303txt 0032\nMesh m {\n1;\n0;0;0;;\n0;\n",
         "expected a data object or \"}\" in a Mesh", 6},
        {"xof 0303txt 0032\nMesh m <1234-5678 {\n", "a GUID is not closed", 2},
        {"xof 0303txt 0032\n@\n", "expected a data object, found \"@\"", 2},
        {nested, "frames nested deeper than 64", 66},
        {"xof 0303txt 0032\nMesh m {\n1;\n0;0;0;;\n1;\n" + std::to_string(kMaxModelTriangles + 3) +
             ";" +
             [] {
                 std::string s;
                 for (std::size_t i = 0; i < kMaxModelTriangles + 3; ++i)
                     s += "0,";
                 return s;
             }() +
             ";\n}\n",
         "more than 2000000 triangles", 6},
    };
    for (const auto& c : cases) {
        const std::string e = parse_error(c.text);
        EXPECT_NE(e.find("\"m.x\": line " + std::to_string(c.line) + ": "), std::string::npos) << e;
        EXPECT_NE(e.find(c.reason), std::string::npos) << e;
    }
}

// What the model files of other boards hold: templates, comments, nested frames, materials
// declared at file level, several meshes, polygons, normals, quirky separators and any case.
TEST(XMesh, ReadsTheSubsetThatBoardModelsUse) {
    const std::string text = R"(xof 0303txt 0032
template Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }
template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices]; [...] }
Header { 1; 0; 1; }
# a comment
Material Red { 1.0;0.0;0.0;1.0;; 9.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFileName { "sub\red.bmp"; } }
frame Outer {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }   // then +5 along Z
 Frame Inner {
  FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1;; } // first scaled by 2
  Mesh quad {
   4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
   2; 4;0,1,2,3;, 2;0,1;;
   MeshNormals { 1; 0;0;-1;; 2; 4;0,0,0,0;, 2;0,0;; }
   MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
   MESHMATERIALLIST { 2; 1; 1;; { Red }
    Material Bumpy { 1.0;0.0;0.0;0.5;; 7.0; 0.5;0.5;0.5;; 0.1;0.2;0.3;; TextureFilename { "my_bump.bmp"; } } }
  }
 }
}
Mesh plain { 3; 0;0;0; 0;1;0; 1;0;0;; 1; 3;0;1;2;; }
)";
    const auto mesh = parse_x_mesh(text, "other.x");
    ASSERT_TRUE(mesh);
    // The quad's two materials (the first used by no face), then the default material of the
    // mesh without a list. A name with "bump" in it is still the material's texture.
    ASSERT_EQ(mesh->materials.size(), 3u);
    EXPECT_EQ(mesh->materials[0].texture, "sub\\red.bmp");
    EXPECT_FLOAT_EQ(mesh->materials[0].Power, 9.0f);
    EXPECT_TRUE(mesh->subsets[0].empty());
    EXPECT_EQ(mesh->materials[1].texture, "my_bump.bmp");
    EXPECT_FLOAT_EQ(mesh->materials[1].Diffuse[3], 0.5f);
    EXPECT_FLOAT_EQ(mesh->materials[1].Specular[0], 0.5f);
    EXPECT_FLOAT_EQ(mesh->materials[1].Emissive[2], 0.3f);
    EXPECT_EQ(mesh->materials[2].Diffuse, (std::array<float, 4>{1, 1, 1, 1}));
    EXPECT_EQ(mesh->materials[2].texture, "");

    // The quad as a fan from its first corner, the line of two corners left out; scaled by the
    // inner frame, then moved by the outer one.
    const auto& quad = mesh->subsets[1];
    ASSERT_EQ(quad.size(), 6u);
    const std::array<float, 3> want[6] = {{0, 0, 5}, {2, 0, 5}, {2, 2, 5},
                                          {0, 0, 5}, {2, 2, 5}, {0, 2, 5}};
    const std::array<float, 2> uv[6] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(quad[i].position, want[i]) << i;
        EXPECT_EQ(quad[i].uv, uv[i]) << i;
    }
    // The mesh at file level: no frame, its own corners in its own order.
    ASSERT_EQ(mesh->subsets[2].size(), 3u);
    EXPECT_EQ(mesh->subsets[2][1].position, (std::array<float, 3>{0, 1, 0}));
    EXPECT_EQ(mesh->triangle_count(), 3u);
}

// The file is opened only as a regular file, within a size limit: a FIFO would otherwise block
// the load for ever (the test has a ctest timeout) and a huge file would be read whole. (The
// other kinds of file are test_regular_file's.)
TEST(XMesh, OnlyRegularFilesOfBoundedSizeAreRead) {
    Files files;
    const std::string fifo = files / "fifo.x";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(load_error(fifo).find("named pipe"), std::string::npos) << load_error(fifo);

    const std::string big = files.put("big.x", "xof 0303txt 0032\n");
    std::filesystem::resize_file(big, kMaxModelFileBytes + 1); // sparse: no disk used
    EXPECT_NE(load_error(big).find("larger than 64 MiB"), std::string::npos) << load_error(big);
}

// The inputs kept for the fuzzer (among them the input that crashed the previous reader) are read
// or refused, never more.
TEST(XMesh, FuzzCorpusIsReadOrRefused) {
    const std::filesystem::path dir =
        std::filesystem::path(zento_test::source_dir()) / "fuzz" / "corpus" / "model";
    std::size_t files = 0;
    bool crash_input = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        crash_input = crash_input || text == kCrashInput;
        ++files;
        try {
            parse_x_mesh(text, entry.path().string());
        } catch (const XLoadError&) {
        }
    }
    EXPECT_GE(files, 3u);
    EXPECT_TRUE(crash_input) << "the input that crashed the previous reader is kept in " << dir;
}
