#pragma once
// The board model that the 3D window shows: a circuit board with a chip, a few small parts, a
// connector and four marker pads, built as triangles in the model file's own frame (left-handed:
// +X right, +Y up, +Z away from the viewer). Each triangle's corners run clockwise seen from
// outside, so the faces turned away from the camera are the ones culled.
//
// Board frame before the stored pose: the board lies in the X-Z plane, 1.6 wide (X), 1.0 deep (Z)
// and 0.08 thick, its components on the +Y side, the connector on the near (-Z) edge. The model
// file stores it tilted by 30 degrees about X with its far edge raised, so that the camera at
// (0, 0, -4) looks down on its top face; a yaw turns it about the vertical, a pitch raises or
// lowers its far edge and a roll lowers one end.
#include <array>
#include <string>
#include <vector>

#include "view3d/scene_math.h"

namespace zento::model {

struct Colour {
    float r = 1, g = 1, b = 1, a = 1;
};

struct Vertex {
    Vec3 p;
    float u = 0, v = 0;
    Colour c;
};

struct Triangle {
    std::array<int, 3> corner{}; // vertex indices, clockwise seen from outside
    int material = 0;
};

// The .x Material template: face colour (RGBA), power, specular (RGB), emissive (RGB), texture.
struct Material {
    std::string name;
    Colour diffuse;
    float power = 0;
    Colour specular{0, 0, 0, 1};
    Colour emissive{0, 0, 0, 1};
    std::string texture; // file name relative to the model's folder; "" = none
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<Triangle> triangles;
    std::vector<Material> materials;
    bool vertex_colours = true; // write MeshVertexColors
    bool texture_coords = true; // write MeshTextureCoords

    // A box with centre c and half extents h, six faces of two triangles each: colour_top on
    // the +Y face, colour_side on the other five; texture coordinates 0.
    void add_box(Vec3 c, Vec3 h, int material, Colour colour_top, Colour colour_side);
    // One quad, corners a b c d clockwise seen from outside, as two triangles (a b c), (a c d).
    void add_quad(const std::array<Vertex, 4>& q, int material);
};

inline constexpr char kModelFile[] = "liti8.x";
inline constexpr char kBoardTexture[] = "board.bmp";
inline constexpr float kTiltDegrees = 30.0f; // far edge raised

// Board size (board frame).
inline constexpr float kHalfWidth = 0.8f, kHalfThick = 0.04f, kHalfDepth = 0.5f;

// Material order of the model file.
enum MaterialIndex { kBoard = 0, kChip, kParts, kConnector, kMarks, kMaterialCount };

// Marker pads: one on each face of the board (top and bottom) at three places, in pure colours
// that nothing else on the model uses, so a picture of the model shows where they went.
struct Marker {
    const char* name;
    Colour colour;
    Vec3 top_centre;    // centre of the pad's outer face on the top side (board frame)
    Vec3 bottom_centre; // the same on the bottom side
};
const std::vector<Marker>& markers();

// The stored pose: board frame to model file frame.
Vec3 to_file_frame(Vec3 board_point);

// The whole model, in the model file's frame, and its texture.
Mesh board_mesh();

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // rows top to bottom, 3 bytes per pixel
    void fill(int x0, int y0, int w, int h, unsigned char r, unsigned char g, unsigned char b);
};
Image board_texture();

// File writers.
std::string write_x(const Mesh& mesh);                    // DirectX .x text (xof 0303txt 0032)
std::vector<unsigned char> write_bmp(const Image& image); // 24-bit uncompressed BMP
// Writes data to path through a temporary file and a rename, so that a reader never sees half a
// file; false (and reason set) on failure.
bool write_file(const std::string& path, const std::string& data, std::string& reason);

} // namespace zento::model
