#pragma once
// Reader of the board's model file, a DirectX .x mesh, into one vertex list per material
// ("subset"), as the file holds it: left-handed positions, texture coordinates with v running
// down the image, each triangle's corners in the file's order. All meshes of the file are merged
// (with their frames' transforms applied), and subset i holds the faces that use material i.
//
// Materials must be written inside the mesh's MeshMaterialList (as the board model does):
// materials declared at file level and referenced by name are not reliably numbered by the
// reader underneath.
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zento {

struct XVertex {
    std::array<float, 3> position{};
    std::array<float, 2> uv{};               // 0 when the file has no texture coordinates
    std::array<float, 4> colour{1, 1, 1, 1}; // MeshVertexColors, white when the file has none
};

// One material in the D3DMATERIAL8 layout: Diffuse, Ambient, Specular, Emissive (RGBA each),
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

// Reads the .x file at path. Returns no mesh when the file is a well-formed .x file that holds
// no mesh (or no triangle); throws XLoadError when it is missing, unreadable, not a .x file or
// malformed.
std::optional<XMesh> load_x_mesh(const std::string& path);

} // namespace zento
