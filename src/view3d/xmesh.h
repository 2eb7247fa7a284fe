#pragma once
// Reader of the board's model file, a DirectX .x mesh in the text form, into one vertex list per
// material ("subset"), as the file holds it: left-handed positions, texture coordinates with v
// running down the image, each triangle's corners in the file's order (a face of more than three
// corners is split as a fan from its first corner). All meshes of the file are merged, with the
// transforms of the frames around them applied, and subset i holds the faces that use material
// i; the materials of each mesh follow those of the meshes before it.
//
// What is read: Mesh (vertices and faces), MeshMaterialList, Material (inside the list or
// declared at file level and named in the list as { Name }), TextureFilename, MeshTextureCoords,
// MeshVertexColors, Frame and FrameTransformMatrix at any depth. Templates and every other data
// object (MeshNormals, Header, animation, skinning) are read past: the window draws unlit.
//
// The reader is strict about what it uses and bounded by the file: a count larger than the file
// can hold, a corner or material index out of range, a wrong number of texture coordinates, an
// unclosed block or string, or a file ending early is reported with the line; nothing is
// allocated from a count the file does not back with data.
#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zento {

struct XVertex {
    std::array<float, 3> position{};
    std::array<float, 2> uv{};               // 0 when the file has no texture coordinates
    std::array<float, 4> colour{1, 1, 1, 1}; // MeshVertexColors, white when the file has none
};

// One material as the .x file holds it: Diffuse, Ambient, Specular, Emissive (RGBA each),
// then Power; plus the texture file name the material names ("" = none).
struct XMaterial {
    std::array<float, 4> Diffuse{1, 1, 1, 1};
    std::array<float, 4> Ambient{0, 0, 0, 1};
    std::array<float, 4> Specular{0, 0, 0, 1};
    std::array<float, 4> Emissive{0, 0, 0, 1};
    float Power = 0;
    std::string texture;
};

struct XMesh {
    std::vector<XMaterial> materials;
    std::vector<std::vector<XVertex>> subsets; // one per material; three vertices per triangle
    std::size_t triangle_count() const;
};

// A model file that cannot be read: the message names the file and the reason.
struct XLoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Larger model files are refused: the board's own is about 140 KB.
inline constexpr std::size_t kMaxModelFileBytes = std::size_t(64) << 20;
// More triangles than this are refused (a face of many corners makes many triangles from few
// bytes): the window draws the model 20 times a second, in software where there is no GPU.
inline constexpr std::size_t kMaxModelTriangles = 2'000'000;

// Reads the text of a .x file; `name` goes in front of every message. Returns no mesh when the
// file is a well-formed .x file whose data holds no mesh (or no triangle); throws XLoadError
// when it is not a text .x file or is malformed.
std::optional<XMesh> parse_x_mesh(std::string_view text, const std::string& name);

// Reads the .x file at path (a regular file of at most kMaxModelFileBytes). Throws XLoadError
// also when it is missing, not a regular file or unreadable.
std::optional<XMesh> load_x_mesh(const std::filesystem::path& path);

} // namespace zento
