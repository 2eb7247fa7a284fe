#include "make-model/board_mesh.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace zento::model {

namespace {

Vec3 add(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 sub(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 mul(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

// The six faces of a box: outward normal and the direction that is "up" seen from outside.
struct Face {
    Vec3 n, up;
};
constexpr Face kFaces[6] = {
    {{0, 1, 0}, {0, 0, 1}},  {{0, -1, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 1, 0}},
    {{-1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
};

// Corners of one box face, clockwise seen from outside: in this left-handed frame the viewer's
// right, looking along d = -n with "up" up, is up x d.
std::array<Vec3, 4> face_corners(Vec3 c, Vec3 h, const Face& f) {
    const Vec3 d{-f.n.x, -f.n.y, -f.n.z};
    const Vec3 r = mul(cross(f.up, d), h);
    const Vec3 u = mul(f.up, h);
    const Vec3 m = add(c, mul(f.n, h));
    return {add(sub(m, r), u), add(add(m, r), u), sub(add(m, r), u), sub(sub(m, r), u)};
}

constexpr Colour rgb(float r, float g, float b) {
    return {r, g, b, 1.0f};
}

// Texture layout: rows 0..159 are the top side's art, mapped over the whole top face; below it a
// plain strip for the bottom side (left half) and the board's edge (right half).
constexpr int kTexW = 256, kTexH = 176, kArtH = 160;

} // namespace

void Mesh::add_quad(const std::array<Vertex, 4>& q, int material) {
    const int base = int(vertices.size());
    vertices.insert(vertices.end(), q.begin(), q.end());
    triangles.push_back({{base, base + 1, base + 2}, material});
    triangles.push_back({{base, base + 2, base + 3}, material});
}

void Mesh::add_box(Vec3 c, Vec3 h, int material, Colour colour_top, Colour colour_side) {
    for (int i = 0; i < 6; ++i) {
        const auto k = face_corners(c, h, kFaces[i]);
        const Colour col = i == 0 ? colour_top : colour_side;
        add_quad({Vertex{k[0], 0, 0, col}, Vertex{k[1], 0, 0, col}, Vertex{k[2], 0, 0, col},
                  Vertex{k[3], 0, 0, col}},
                 material);
    }
}

const std::vector<Marker>& markers() {
    static const std::vector<Marker> m = {
        {"right",
         rgb(1, 0, 0),
         {0.68f, kHalfThick + 0.01f, 0.0f},
         {0.68f, -kHalfThick - 0.01f, 0.0f}},
        {"left",
         rgb(0, 0, 1),
         {-0.68f, kHalfThick + 0.01f, 0.0f},
         {-0.68f, -kHalfThick - 0.01f, 0.0f}},
        {"far",
         rgb(1, 1, 0),
         {0.0f, kHalfThick + 0.01f, 0.40f},
         {0.0f, -kHalfThick - 0.01f, 0.40f}},
    };
    return m;
}

Vec3 to_file_frame(Vec3 p) {
    // Rotating by -30 degrees about X raises +Z: (0, 0, 1) goes to (0, sin 30, cos 30).
    const float a = float(-double(kTiltDegrees) * 3.14159265358979323846 / 180.0);
    const Vec4 r = transform(p, RotationX(a));
    return {r.x, r.y, r.z};
}

Mesh board_mesh() {
    Mesh m;
    m.materials = {
        {"Board", rgb(1, 1, 1), 8.0f, rgb(0.2f, 0.2f, 0.2f), rgb(0, 0, 0), kBoardTexture},
        {"Chip", rgb(0.13f, 0.13f, 0.15f), 20.0f, rgb(0.4f, 0.4f, 0.4f), rgb(0, 0, 0), ""},
        {"Parts", rgb(0.6f, 0.6f, 0.6f), 10.0f, rgb(0.3f, 0.3f, 0.3f), rgb(0, 0, 0), ""},
        {"Connector", rgb(0.9f, 0.88f, 0.82f), 5.0f, rgb(0.1f, 0.1f, 0.1f), rgb(0, 0, 0), ""},
        {"Marks", rgb(1, 0, 0), 0.0f, rgb(0, 0, 0), rgb(0, 0, 0), ""},
    };

    // Board: textured, white vertices. Top face carries the art; bottom and edges sample the
    // plain strip under it.
    {
        const Vec3 c{0, 0, 0}, h{kHalfWidth, kHalfThick, kHalfDepth};
        const Colour white = rgb(1, 1, 1);
        const float art_v = float(kArtH) / kTexH;
        for (int i = 0; i < 6; ++i) {
            const auto k = face_corners(c, h, kFaces[i]);
            std::array<Vertex, 4> q;
            for (int j = 0; j < 4; ++j) {
                q[j].p = k[j];
                q[j].c = white;
                if (i == 0) {
                    q[j].u = (k[j].x + kHalfWidth) / (2 * kHalfWidth);
                    q[j].v = (kHalfDepth - k[j].z) / (2 * kHalfDepth) * art_v;
                } else {
                    q[j].u = i == 1 ? 64.5f / kTexW : 192.5f / kTexW;
                    q[j].v = 168.5f / kTexH;
                }
            }
            m.add_quad(q, kBoard);
        }
    }

    // Processor: a flat square package with six legs a side and a pin-1 dot.
    const float top = kHalfThick;
    m.add_box({0, top + 0.03f, 0}, {0.2f, 0.03f, 0.2f}, kChip, rgb(0.13f, 0.13f, 0.15f),
              rgb(0.07f, 0.07f, 0.08f));
    const Colour leg = rgb(0.72f, 0.72f, 0.74f);
    for (int k = 0; k < 6; ++k) {
        const float t = -0.15f + 0.06f * float(k);
        const Vec3 along_x{0.012f, 0.008f, 0.03f}, along_z{0.03f, 0.008f, 0.012f};
        m.add_box({t, top + 0.008f, 0.225f}, along_x, kChip, leg, leg);
        m.add_box({t, top + 0.008f, -0.225f}, along_x, kChip, leg, leg);
        m.add_box({0.225f, top + 0.008f, t}, along_z, kChip, leg, leg);
        m.add_box({-0.225f, top + 0.008f, t}, along_z, kChip, leg, leg);
    }
    m.add_box({-0.14f, top + 0.062f, 0.14f}, {0.02f, 0.002f, 0.02f}, kChip, rgb(0.5f, 0.5f, 0.5f),
              rgb(0.5f, 0.5f, 0.5f));

    // Small parts: two sensor packages, four capacitors, a crystal, a lamp, resistors.
    const Colour ic_top = rgb(0.09f, 0.09f, 0.1f), ic_side = rgb(0.05f, 0.05f, 0.05f);
    m.add_box({-0.42f, top + 0.02f, 0.22f}, {0.09f, 0.02f, 0.09f}, kParts, ic_top, ic_side);
    m.add_box({0.42f, top + 0.02f, 0.22f}, {0.09f, 0.02f, 0.09f}, kParts, ic_top, ic_side);
    const Colour cap_top = rgb(0.82f, 0.68f, 0.42f), cap_side = rgb(0.66f, 0.53f, 0.3f);
    for (float x : {-0.3f, 0.3f})
        for (float z : {-0.06f, 0.06f})
            m.add_box({x, top + 0.025f, z}, {0.035f, 0.025f, 0.02f}, kParts, cap_top, cap_side);
    m.add_box({0.45f, top + 0.025f, -0.22f}, {0.07f, 0.025f, 0.03f}, kParts, rgb(0.8f, 0.8f, 0.82f),
              rgb(0.6f, 0.6f, 0.63f));
    m.add_box({-0.45f, top + 0.015f, -0.22f}, {0.025f, 0.015f, 0.015f}, kParts,
              rgb(0.35f, 1.0f, 0.45f), rgb(0.2f, 0.7f, 0.3f));
    const Colour res = rgb(0.16f, 0.16f, 0.16f);
    for (float x : {-0.55f, -0.48f, 0.48f, 0.55f})
        m.add_box({x, top + 0.012f, -0.05f}, {0.015f, 0.012f, 0.03f}, kParts, res, res);

    // Connector on the near edge: a housing with six pins pointing out of the board.
    m.add_box({0, top + 0.05f, -0.41f}, {0.3f, 0.05f, 0.05f}, kConnector, rgb(0.93f, 0.91f, 0.86f),
              rgb(0.8f, 0.78f, 0.72f));
    const Colour gold = rgb(0.86f, 0.7f, 0.25f);
    for (int k = 0; k < 6; ++k)
        m.add_box({-0.25f + 0.1f * float(k), top + 0.05f, -0.47f}, {0.012f, 0.012f, 0.05f},
                  kConnector, gold, gold);

    // Marker pads, 0.12 square and 0.01 thick, on both sides.
    for (const Marker& k : markers()) {
        const Vec3 h{0.06f, 0.005f, 0.06f};
        m.add_box({k.top_centre.x, k.top_centre.y - h.y, k.top_centre.z}, h, kMarks, k.colour,
                  k.colour);
        m.add_box({k.bottom_centre.x, k.bottom_centre.y + h.y, k.bottom_centre.z}, h, kMarks,
                  k.colour, k.colour);
    }

    for (Vertex& v : m.vertices)
        v.p = to_file_frame(v.p);
    return m;
}

void Image::fill(int x0, int y0, int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
            unsigned char* p = &rgb[(std::size_t(y) * width + x) * 3];
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
}

namespace {

// 5 x 7 glyphs for the silkscreen legend, one row per string, '#' = ink.
struct Glyph {
    char ch;
    const char* rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
};

void legend(Image& im, int x, int y, const char* text) {
    for (; *text; ++text, x += 6)
        for (const Glyph& g : kGlyphs)
            if (g.ch == *text)
                for (int r = 0; r < 7; ++r)
                    for (int c = 0; c < 5; ++c)
                        if (g.rows[r][c] == '#') im.fill(x + c, y + r, 1, 1, 235, 235, 225);
}

// Texture column / row of a board-frame point on the top face.
int tx(float x) {
    return int((x + kHalfWidth) / (2 * kHalfWidth) * kTexW);
}
int ty(float z) {
    return int((kHalfDepth - z) / (2 * kHalfDepth) * kArtH);
}

} // namespace

Image board_texture() {
    Image im;
    im.width = kTexW;
    im.height = kTexH;
    im.rgb.assign(std::size_t(kTexW) * kTexH * 3, 0);
    im.fill(0, 0, kTexW, kArtH, 16, 96, 48);                           // solder mask
    im.fill(0, kArtH, kTexW / 2, kTexH - kArtH, 12, 78, 40);           // bottom side
    im.fill(kTexW / 2, kArtH, kTexW / 2, kTexH - kArtH, 150, 150, 96); // board edge
    // Silkscreen outline.
    im.fill(3, 3, kTexW - 6, 1, 235, 235, 225);
    im.fill(3, kArtH - 4, kTexW - 6, 1, 235, 235, 225);
    im.fill(3, 3, 1, kArtH - 6, 235, 235, 225);
    im.fill(kTexW - 4, 3, 1, kArtH - 6, 235, 235, 225);
    // Traces: from the processor to the sensors, the connector and the crystal.
    const unsigned char tr = 40, tg = 140, tb = 72;
    im.fill(tx(-0.42f), ty(0.13f), 2, ty(0.0f) - ty(0.13f), tr, tg, tb);
    im.fill(tx(-0.42f), ty(0.0f), tx(-0.2f) - tx(-0.42f), 2, tr, tg, tb);
    im.fill(tx(0.42f), ty(0.13f), 2, ty(0.0f) - ty(0.13f), tr, tg, tb);
    im.fill(tx(0.2f), ty(0.0f), tx(0.42f) - tx(0.2f), 2, tr, tg, tb);
    for (int k = 0; k < 6; ++k) {
        const int x = tx(-0.15f + 0.06f * float(k));
        im.fill(x, ty(-0.25f), 2, ty(-0.36f) - ty(-0.25f), tr, tg, tb);
    }
    im.fill(tx(0.25f), ty(-0.22f), tx(0.38f) - tx(0.25f), 2, tr, tg, tb);
    // Pads under the processor's legs and the small parts.
    for (int k = 0; k < 6; ++k) {
        const float t = -0.15f + 0.06f * float(k);
        im.fill(tx(t) - 2, ty(0.255f), 5, 6, 200, 160, 60);
        im.fill(tx(t) - 2, ty(-0.195f), 5, 6, 200, 160, 60);
        im.fill(tx(0.195f), ty(t) - 2, 6, 5, 200, 160, 60);
        im.fill(tx(-0.255f), ty(t) - 2, 6, 5, 200, 160, 60);
    }
    // Mounting holes in the corners.
    for (int cx : {12, kTexW - 13})
        for (int cy : {12, kArtH - 13}) {
            im.fill(cx - 6, cy - 6, 13, 13, 200, 160, 60);
            im.fill(cx - 3, cy - 3, 7, 7, 30, 30, 30);
        }
    // Forward arrow (towards the far edge) and the legend.
    const int ax = tx(-0.62f);
    im.fill(ax, ty(0.36f), 3, ty(0.16f) - ty(0.36f), 235, 235, 225);
    for (int k = 0; k < 6; ++k)
        im.fill(ax + 1 - k, ty(0.36f) + k, 2 * k + 1, 1, 235, 235, 225);
    legend(im, 182, 132, "ZENTO AHRS"); // right of the connector, which would hide it
    return im;
}

namespace {
void put_u16(std::vector<unsigned char>& b, unsigned v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put_u32(std::vector<unsigned char>& b, unsigned v) {
    put_u16(b, v & 0xFFFF);
    put_u16(b, v >> 16);
}
} // namespace

std::vector<unsigned char> write_bmp(const Image& im) {
    const unsigned row = (unsigned(im.width) * 3 + 3) & ~3u;
    const unsigned data = row * unsigned(im.height);
    std::vector<unsigned char> b;
    b.reserve(54 + data);
    b.push_back('B');
    b.push_back('M');
    put_u32(b, 54 + data); // file size
    put_u32(b, 0);
    put_u32(b, 54); // pixel data offset
    put_u32(b, 40); // BITMAPINFOHEADER
    put_u32(b, unsigned(im.width));
    put_u32(b, unsigned(im.height)); // positive: rows stored bottom to top
    put_u16(b, 1);
    put_u16(b, 24);
    put_u32(b, 0); // BI_RGB
    put_u32(b, data);
    put_u32(b, 2835); // 72 dpi
    put_u32(b, 2835);
    put_u32(b, 0);
    put_u32(b, 0);
    for (int y = im.height - 1; y >= 0; --y) {
        for (int x = 0; x < im.width; ++x) {
            const unsigned char* p = &im.rgb[(std::size_t(y) * im.width + x) * 3];
            b.push_back(p[2]); // blue, green, red
            b.push_back(p[1]);
            b.push_back(p[0]);
        }
        for (unsigned k = unsigned(im.width) * 3; k < row; ++k)
            b.push_back(0);
    }
    return b;
}

namespace {
void append(std::string& s, const char* fmt, double a, double b = 0, double c = 0, double d = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    s += buf;
}
void append_colour(std::string& s, const Colour& c, bool alpha) {
    if (alpha)
        append(s, "   %.6f;%.6f;%.6f;%.6f;;\n", c.r, c.g, c.b, c.a);
    else
        append(s, "   %.6f;%.6f;%.6f;;\n", c.r, c.g, c.b);
}
} // namespace

std::string write_x(const Mesh& m) {
    std::string s = "xof 0303txt 0032\n";
    s += "// Zento board model: one mesh, one subset per material, in the materials' order.\n";
    s += "Mesh board {\n";
    s += " " + std::to_string(m.vertices.size()) + ";\n";
    for (std::size_t i = 0; i < m.vertices.size(); ++i) {
        const Vec3& p = m.vertices[i].p;
        append(s, " %.6f;%.6f;%.6f;", p.x, p.y, p.z);
        s += i + 1 < m.vertices.size() ? ",\n" : ";\n";
    }
    s += " " + std::to_string(m.triangles.size()) + ";\n";
    for (std::size_t i = 0; i < m.triangles.size(); ++i) {
        const auto& t = m.triangles[i].corner;
        s += " 3;" + std::to_string(t[0]) + "," + std::to_string(t[1]) + "," +
             std::to_string(t[2]) + ";";
        s += i + 1 < m.triangles.size() ? ",\n" : ";\n";
    }
    if (m.texture_coords) {
        s += " MeshTextureCoords {\n  " + std::to_string(m.vertices.size()) + ";\n";
        for (std::size_t i = 0; i < m.vertices.size(); ++i) {
            append(s, "  %.6f;%.6f;", m.vertices[i].u, m.vertices[i].v);
            s += i + 1 < m.vertices.size() ? ",\n" : ";\n";
        }
        s += " }\n";
    }
    if (m.vertex_colours) {
        s += " MeshVertexColors {\n  " + std::to_string(m.vertices.size()) + ";\n";
        for (std::size_t i = 0; i < m.vertices.size(); ++i) {
            const Colour& c = m.vertices[i].c;
            s += "  " + std::to_string(i) + ";";
            append(s, "%.6f;%.6f;%.6f;%.6f;", c.r, c.g, c.b, c.a);
            s += i + 1 < m.vertices.size() ? ",\n" : ";\n";
        }
        s += " }\n";
    }
    s += " MeshMaterialList {\n";
    s += "  " + std::to_string(m.materials.size()) + ";\n";
    s += "  " + std::to_string(m.triangles.size()) + ";\n";
    for (std::size_t i = 0; i < m.triangles.size(); ++i) {
        s += "  " + std::to_string(m.triangles[i].material);
        s += i + 1 < m.triangles.size() ? ",\n" : ";\n";
    }
    for (const Material& mat : m.materials) {
        s += "  Material " + mat.name + " {\n";
        append_colour(s, mat.diffuse, true);
        append(s, "   %.6f;\n", mat.power);
        append_colour(s, mat.specular, false);
        append_colour(s, mat.emissive, false);
        if (!mat.texture.empty()) s += "   TextureFilename { \"" + mat.texture + "\"; }\n";
        s += "  }\n";
    }
    s += " }\n}\n";
    return s;
}

bool write_file(const std::string& path, const std::string& data, std::string& reason) {
    const std::string tmp = path + ".part";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f) {
            reason = tmp + ": " + std::strerror(errno);
            return false;
        }
        f.write(data.data(), std::streamsize(data.size()));
        f.close();
        if (!f) {
            reason = tmp + ": " + std::strerror(errno);
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        reason = path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace zento::model
