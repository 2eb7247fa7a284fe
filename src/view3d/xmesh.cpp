// The .x text reader. The grammar it reads:
//
//   file     = "xof " version(4) "txt " floatsize(4), then objects
//   object   = "template" name "{" ... "}"                  read past
//            | Identifier [name] [<GUID>] "{" body "}"      a data object
//            | "{" name [<GUID>] "}"                         a reference
//   tokens   = words (names and numbers), "strings", <GUIDs>, { } ; , and comments (// or #)
//
// Separators (";" and ",") are taken wherever they stand between values, as writers differ in
// how many they put; the counts in the file say how many values come.
#include "view3d/xmesh.h"

#include "platform/files/regular_file.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>

namespace zento {

std::size_t XMesh::triangle_count() const {
    std::size_t n = 0;
    for (const auto& s : subsets)
        n += s.size() / 3;
    return n;
}

namespace {

constexpr int kMaxFrameDepth = 64;

using Mat4 = std::array<float, 16>; // row-major, row vectors: p' = p * M
constexpr Mat4 kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[std::size_t(i * 4 + k)] * b[std::size_t(k * 4 + j)];
            r[std::size_t(i * 4 + j)] = s;
        }
    return r;
}

std::array<float, 3> transformed(const Mat4& m, const std::array<float, 3>& p) {
    std::array<float, 3> r{};
    for (std::size_t c = 0; c < 3; ++c)
        r[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
    return r;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

enum class Tok { End, Word, String, Guid, Open, Close, Separator, Other };

struct Token {
    Tok kind = Tok::End;
    std::string_view text;
    int line = 1;
};

bool word_char(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '+' || c == '-' || c >= 0x80;
}

// Material i of a mesh's list: written inside the list, or a reference to one declared at file
// level.
struct MaterialSlot {
    std::optional<XMaterial> material;
    std::string reference;
    int line = 0;
};

struct RawMesh {
    int frame = -1; // innermost frame around the mesh, -1 at file level
    std::vector<std::array<float, 3>> positions;
    std::vector<std::uint32_t> corners;        // every face's corner indices, face after face
    std::vector<std::uint32_t> face_sizes;     // corners per face
    std::vector<std::array<float, 2>> uv;      // empty or one per vertex
    std::vector<std::array<float, 4>> colours; // empty or one per vertex
    bool has_list = false;
    std::vector<std::uint32_t> face_material; // one per face once the list is read
    std::vector<MaterialSlot> materials;
};

struct FrameNode {
    int parent = -1;
    Mat4 local = kIdentity;
};

class Parser {
  public:
    Parser(std::string_view text, const std::string& name) : s_(text), name_(name) {}

    std::optional<XMesh> run() {
        header();
        bool any = false;
        for (;;) {
            const Token t = next();
            if (t.kind == Tok::End) break;
            if (t.kind == Tok::Separator) continue;
            any = true;
            if (t.kind == Tok::Open) {
                skip_block(t.line); // a reference at file level names nothing to draw
            } else if (t.kind == Tok::Word) {
                data_object(t, -1, 0);
            } else {
                fail(t.line, "expected a data object, found " + describe(t));
            }
        }
        if (!any) fail(line_, "the file holds nothing after its header");
        return assemble();
    }

  private:
    // ---- tokens -------------------------------------------------------------------------------

    [[noreturn]] void fail(int line, const std::string& what) const {
        throw XLoadError("\"" + name_ + "\": line " + std::to_string(line) + ": " + what);
    }

    static std::string shown(std::string_view s) {
        std::string out;
        for (unsigned char c : s.substr(0, 24))
            out += (c >= 0x20 && c < 0x7F) ? char(c) : '?';
        if (s.size() > 24) out += "...";
        return out;
    }

    static std::string describe(const Token& t) {
        switch (t.kind) {
        case Tok::End:
            return "the end of the file";
        case Tok::String:
            return "a string";
        case Tok::Guid:
            return "a GUID";
        default: { // appended piece by piece: g++ 12 warns wrongly on "\"" + s + "\""
            std::string q(1, '"');
            q.append(shown(t.text)).push_back('"');
            return q;
        }
        }
    }

    void skip_space() {
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '#' || (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/')) {
                const std::size_t e = s_.find('\n', pos_);
                pos_ = e == std::string_view::npos ? s_.size() : e;
            } else {
                break;
            }
        }
    }

    Token lex() {
        skip_space();
        Token t;
        t.line = line_;
        if (pos_ >= s_.size()) return t;
        const char c = s_[pos_];
        const auto delimited = [&](char close, Tok kind, const char* what) {
            const std::size_t e = s_.find(close, pos_ + 1);
            if (e == std::string_view::npos) fail(t.line, std::string(what) + " is not closed");
            t.kind = kind;
            t.text = s_.substr(pos_ + 1, e - pos_ - 1);
            for (char x : t.text)
                line_ += x == '\n';
            pos_ = e + 1;
        };
        if (c == '"') {
            delimited('"', Tok::String, "a string");
        } else if (c == '<') {
            delimited('>', Tok::Guid, "a GUID");
        } else if (word_char(static_cast<unsigned char>(c))) {
            std::size_t e = pos_;
            while (e < s_.size() && word_char(static_cast<unsigned char>(s_[e])))
                ++e;
            t.kind = Tok::Word;
            t.text = s_.substr(pos_, e - pos_);
            pos_ = e;
        } else {
            t.kind = c == '{'                 ? Tok::Open
                     : c == '}'               ? Tok::Close
                     : (c == ';' || c == ',') ? Tok::Separator
                                              : Tok::Other;
            t.text = s_.substr(pos_, 1);
            ++pos_;
        }
        return t;
    }

    Token next() {
        if (peeked_) {
            const Token t = *peeked_;
            peeked_.reset();
            return t;
        }
        return lex();
    }

    const Token& peek() {
        if (!peeked_) peeked_ = lex();
        return *peeked_;
    }

    Token next_value() {
        while (peek().kind == Tok::Separator)
            next();
        Token t = next();
        value_line_ = t.line;
        return t;
    }

    std::size_t remaining() const { return s_.size() - pos_; }

    float number(const char* what) {
        const Token t = next_value();
        if (t.kind == Tok::Word) {
            std::string_view v = t.text;
            if (v.size() > 1 && v[0] == '+' && v[1] != '-') v.remove_prefix(1);
            float f = 0;
            const auto r = std::from_chars(v.data(), v.data() + v.size(), f);
            if (r.ec == std::errc() && r.ptr == v.data() + v.size() && f - f == 0) return f;
            if (r.ec == std::errc::result_out_of_range)
                fail(t.line, std::string(what) + " \"" + shown(t.text) + "\" is out of range");
        }
        fail(t.line, std::string("expected ") + what + ", found " + describe(t));
    }

    std::uint32_t integer(const char* what) {
        const Token t = next_value();
        if (t.kind == Tok::Word) {
            std::uint64_t v = 0;
            const auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
            if (r.ec == std::errc() && r.ptr == t.text.data() + t.text.size()) {
                if (v > 0x7FFFFFFF)
                    fail(t.line, std::string(what) + " " + shown(t.text) + " is out of range");
                return std::uint32_t(v);
            }
        }
        fail(t.line, std::string("expected ") + what + ", found " + describe(t));
    }

    // A count of items of `values` numbers each: every number takes at least one character and
    // one separator, so a count the rest of the file cannot hold is refused before anything is
    // allocated for it.
    std::uint32_t count(const char* what, std::size_t values) {
        const std::uint32_t n = integer(what);
        if (std::uint64_t(n) * values > (remaining() + 1) / 2)
            fail(value_line_, std::string(what) + " " + std::to_string(n) +
                                  " is more than the rest of the file holds");
        return n;
    }

    void expect_close(const char* block) {
        const Token t = next_value();
        if (t.kind != Tok::Close)
            fail(t.line, std::string("expected \"}\" to end ") + block + ", found " + describe(t));
    }

    // After an identifier: an optional name, an optional GUID, then "{". Returns the name.
    std::string_view object_header(const Token& identifier) {
        std::string_view name;
        Token t = next();
        if (t.kind == Tok::Word) {
            name = t.text;
            t = next();
        }
        if (t.kind == Tok::Guid) t = next();
        if (t.kind != Tok::Open)
            fail(t.line,
                 "expected \"{\" after " + shown(identifier.text) + ", found " + describe(t));
        return name;
    }

    // Reads past the rest of a block whose "{" has been read, nested blocks included.
    void skip_block(int opened_at) {
        std::size_t depth = 1;
        for (;;) {
            const Token t = next();
            if (t.kind == Tok::End)
                fail(opened_at, "the block opened here is not closed before the end of the file");
            if (t.kind == Tok::Open) ++depth;
            if (t.kind == Tok::Close && --depth == 0) return;
        }
    }

    // The data objects inside a block whose own values have been read, up to its "}". Each
    // object's identifier goes to `object`, which reads the rest of it; a reference ("{ Name }")
    // goes to `reference` with its "{" read. Separators between them are passed over.
    template <class Object, class Reference>
    void children(const char* block, Object&& object, Reference&& reference) {
        for (;;) {
            const Token t = next();
            if (t.kind == Tok::Close) return;
            if (t.kind == Tok::Separator) continue;
            if (t.kind == Tok::Open) {
                reference(t);
            } else if (t.kind == Tok::Word) {
                object(t);
            } else {
                fail(t.line, std::string("expected a data object or \"}\" in ") + block +
                                 ", found " + describe(t));
            }
        }
    }

    template <class Object> void children(const char* block, Object&& object) {
        children(block, object, [this](const Token& t) { skip_block(t.line); });
    }

    // ---- objects ------------------------------------------------------------------------------

    void header() {
        if (s_.size() < 16 || s_.substr(0, 4) != "xof ")
            throw XLoadError("\"" + name_ + "\": not a DirectX .x file (no \"xof \" header)");
        const std::string_view format = s_.substr(8, 4);
        if (format == "bin ")
            fail(1, "a binary .x file: only the text form is read (save the model as text)");
        if (format == "tzip" || format == "bzip")
            fail(1, "a compressed .x file: only the plain text form is read (save the model as "
                    "text, uncompressed)");
        if (format != "txt ")
            throw XLoadError("\"" + name_ + "\": not a DirectX .x file (format \"" + shown(format) +
                             "\")");
        pos_ = 16;
    }

    // A data object whose identifier has been read, inside frame `frame` (-1: file level).
    void data_object(const Token& id, int frame, int depth) {
        const std::string_view name = object_header(id);
        if (iequals(id.text, "template")) {
            skip_block(id.line);
        } else if (iequals(id.text, "Frame")) {
            if (depth >= kMaxFrameDepth)
                fail(id.line, "frames nested deeper than " + std::to_string(kMaxFrameDepth));
            frames_.push_back({frame, kIdentity});
            parse_frame(int(frames_.size()) - 1, depth + 1);
        } else if (iequals(id.text, "Mesh")) {
            parse_mesh(frame);
        } else if (iequals(id.text, "Material") && frame < 0) {
            XMaterial m = parse_material();
            if (!name.empty()) declared_[std::string(name)] = std::move(m);
        } else if (iequals(id.text, "FrameTransformMatrix") && frame >= 0) {
            Mat4& m = frames_[std::size_t(frame)].local;
            for (float& v : m)
                v = number("a matrix value");
            expect_close("FrameTransformMatrix");
        } else {
            skip_block(id.line);
        }
    }

    // A reference in a frame names a mesh declared elsewhere: read past.
    void parse_frame(int frame, int depth) {
        children("a Frame", [&](const Token& t) { data_object(t, frame, depth); });
    }

    void parse_mesh(int frame) {
        RawMesh m;
        m.frame = frame;
        const std::uint32_t nv = count("vertex count", 3);
        m.positions.reserve(nv);
        for (std::uint32_t i = 0; i < nv; ++i) {
            std::array<float, 3> p{};
            for (float& v : p)
                v = number("a vertex coordinate");
            m.positions.push_back(p);
        }
        const std::uint32_t nf = count("face count", 1);
        m.face_sizes.reserve(nf);
        for (std::uint32_t f = 0; f < nf; ++f) {
            const std::uint32_t n = count("corner count", 1);
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::uint32_t c = integer("a corner index");
                if (c >= nv)
                    fail(value_line_, "face " + std::to_string(f) + " names vertex " +
                                          std::to_string(c) + " of a mesh with " +
                                          std::to_string(nv) + " vertices");
                m.corners.push_back(c);
            }
            m.face_sizes.push_back(n);
            if (n >= 3) {
                triangles_ += n - 2;
                if (triangles_ > kMaxModelTriangles)
                    fail(value_line_,
                         "more than " + std::to_string(kMaxModelTriangles) + " triangles");
            }
        }
        children("a Mesh", [&](const Token& t) {
            object_header(t);
            if (iequals(t.text, "MeshTextureCoords")) {
                const std::uint32_t n = count("texture coordinate count", 2);
                if (n != nv)
                    fail(value_line_, std::to_string(n) + " texture coordinates for " +
                                          std::to_string(nv) + " vertices");
                m.uv.assign(n, {});
                for (auto& uv : m.uv)
                    for (float& v : uv)
                        v = number("a texture coordinate");
                expect_close("MeshTextureCoords");
            } else if (iequals(t.text, "MeshVertexColors")) {
                const std::uint32_t n = count("vertex colour count", 5);
                m.colours.assign(nv, {1, 1, 1, 1});
                for (std::uint32_t i = 0; i < n; ++i) {
                    const std::uint32_t v = integer("a vertex index");
                    if (v >= nv)
                        fail(value_line_, "a colour for vertex " + std::to_string(v) +
                                              " of a mesh with " + std::to_string(nv) +
                                              " vertices");
                    for (float& c : m.colours[v])
                        c = number("a colour value");
                }
                expect_close("MeshVertexColors");
            } else if (iequals(t.text, "MeshMaterialList")) {
                parse_material_list(m, t.line);
            } else {
                skip_block(t.line); // MeshNormals and others: not used unlit
            }
        });
        meshes_.push_back(std::move(m));
    }

    void parse_material_list(RawMesh& m, int line) {
        const std::uint32_t n_materials = count("material count", 1);
        const std::uint32_t n_indices = count("face material count", 1);
        m.face_material.clear();
        m.face_material.reserve(n_indices);
        for (std::uint32_t i = 0; i < n_indices; ++i) {
            const std::uint32_t k = integer("a material index");
            if (k >= n_materials)
                fail(value_line_, "face " + std::to_string(i) + " uses material " +
                                      std::to_string(k) + " of a list of " +
                                      std::to_string(n_materials));
            m.face_material.push_back(k);
        }
        m.materials.clear();
        children(
            "MeshMaterialList",
            [&](const Token& t) {
                object_header(t);
                if (!iequals(t.text, "Material")) return skip_block(t.line);
                MaterialSlot slot;
                slot.line = t.line;
                slot.material = parse_material();
                m.materials.push_back(std::move(slot));
            },
            [&](const Token& t) { // { Name } or { Name <GUID> }
                Token r = next();
                MaterialSlot slot;
                slot.line = t.line;
                if (r.kind == Tok::Word) {
                    slot.reference = std::string(r.text);
                    r = next();
                }
                if (r.kind == Tok::Guid) r = next();
                if (r.kind != Tok::Close || slot.reference.empty())
                    fail(t.line, "a material reference must be { Name }");
                m.materials.push_back(std::move(slot));
            });
        if (m.materials.size() != n_materials)
            fail(line, "MeshMaterialList announces " + std::to_string(n_materials) +
                           " materials and holds " + std::to_string(m.materials.size()));
        const std::size_t faces = m.face_sizes.size();
        if (faces > 0 && m.face_material.empty())
            fail(line, "MeshMaterialList gives no material to the mesh's faces");
        // A shorter list (typically one index) gives its first material to the faces left.
        m.face_material.resize(faces, faces > 0 ? m.face_material.front() : 0);
        m.has_list = true;
    }

    // The body of a Material whose "{" has been read.
    XMaterial parse_material() {
        XMaterial m;
        for (float& v : m.Diffuse)
            v = number("a material colour");
        m.Power = number("a material power");
        for (std::size_t i = 0; i < 3; ++i)
            m.Specular[i] = number("a material colour");
        for (std::size_t i = 0; i < 3; ++i)
            m.Emissive[i] = number("a material colour");
        children("a Material", [&](const Token& t) {
            object_header(t);
            if (!iequals(t.text, "TextureFilename")) return skip_block(t.line);
            const Token name = next_value();
            if (name.kind != Tok::String)
                fail(name.line, "expected the texture's file name, found " + describe(name));
            for (unsigned char c : name.text)
                if (c < 0x20 || c == 0x7F)
                    fail(name.line, "the texture's file name holds a control character");
            m.texture = std::string(name.text);
            expect_close("TextureFilename");
        });
        return m;
    }

    // ---- the result ---------------------------------------------------------------------------

    std::optional<XMesh> assemble() {
        std::vector<Mat4> world(frames_.size(), kIdentity);
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const int p = frames_[i].parent; // a parent is always read before its children
            world[i] = p < 0 ? frames_[i].local : multiply(frames_[i].local, world[std::size_t(p)]);
        }

        // Materials first, mesh after mesh; then each subset's size, so that every vertex list
        // is allocated once at its final size.
        XMesh out;
        std::vector<std::size_t> base(meshes_.size());
        for (std::size_t i = 0; i < meshes_.size(); ++i) {
            RawMesh& m = meshes_[i];
            base[i] = out.materials.size();
            if (!m.has_list) {
                out.materials.emplace_back();
                m.face_material.assign(m.face_sizes.size(), 0);
            }
            for (MaterialSlot& slot : m.materials) {
                if (slot.material) {
                    out.materials.push_back(std::move(*slot.material));
                    continue;
                }
                const auto it = declared_.find(slot.reference);
                if (it == declared_.end())
                    fail(slot.line,
                         "material \"" + shown(slot.reference) + "\" is not declared in the file");
                out.materials.push_back(it->second);
            }
        }
        std::vector<std::size_t> sizes(out.materials.size(), 0);
        for (std::size_t i = 0; i < meshes_.size(); ++i)
            for (std::size_t f = 0; f < meshes_[i].face_sizes.size(); ++f)
                if (const std::size_t n = meshes_[i].face_sizes[f]; n >= 3)
                    sizes[base[i] + meshes_[i].face_material[f]] += 3 * (n - 2);
        out.subsets.resize(out.materials.size());
        std::size_t triangles = 0;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            out.subsets[i].reserve(sizes[i]);
            triangles += sizes[i] / 3;
        }

        for (std::size_t i = 0; i < meshes_.size(); ++i) {
            RawMesh& m = meshes_[i];
            const Mat4* transform = m.frame < 0 ? nullptr : &world[std::size_t(m.frame)];
            std::size_t at = 0;
            for (std::size_t f = 0; f < m.face_sizes.size(); ++f) {
                const std::size_t n = m.face_sizes[f];
                auto& subset = out.subsets[base[i] + m.face_material[f]];
                for (std::size_t k = 1; k + 1 < n; ++k)
                    for (const std::size_t c : {at, at + k, at + k + 1}) {
                        const std::uint32_t v = m.corners[c];
                        XVertex x;
                        x.position =
                            transform ? transformed(*transform, m.positions[v]) : m.positions[v];
                        if (!m.uv.empty()) x.uv = m.uv[v];
                        if (!m.colours.empty()) x.colour = m.colours[v];
                        subset.push_back(x);
                    }
                at += n;
            }
            m = RawMesh{}; // no longer needed: keeps the peak near the result's size
        }
        if (triangles == 0) return std::nullopt;
        return out;
    }

    std::string_view s_;
    const std::string& name_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::optional<Token> peeked_;
    std::vector<FrameNode> frames_;
    std::vector<RawMesh> meshes_;
    std::map<std::string, XMaterial> declared_;
    std::size_t triangles_ = 0;
    int value_line_ = 1; // line of the last value read
};

} // namespace

std::optional<XMesh> parse_x_mesh(std::string_view text, const std::string& name) {
    return Parser(text, name).run();
}

std::optional<XMesh> load_x_mesh(const std::filesystem::path& path) {
    const std::string name = path.string();
    const FileContent file = read_regular_file(path, kMaxModelFileBytes);
    if (!file.bytes) throw XLoadError("\"" + name + "\": " + file.reason);
    return parse_x_mesh(*file.bytes, name);
}

} // namespace zento
