#include "view3d/xmesh.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zento {

std::size_t XMesh::triangle_count() const {
    std::size_t n = 0;
    for (const auto& s : subsets)
        n += s.size() / 3;
    return n;
}

namespace {

std::array<float, 4> colour4(const aiMaterial* m, const char* key, unsigned type, unsigned idx,
                             std::array<float, 4> fallback) {
    aiColor4D c;
    if (m->Get(key, type, idx, c) != AI_SUCCESS) return fallback;
    return {c.r, c.g, c.b, c.a};
}

// The texture file a .x material names. The reader files it under a texture kind guessed from
// the name (a name with "bump" in it becomes a height map, and so on), so look at every kind.
std::string texture_name(const aiMaterial* m) {
    for (int t = aiTextureType_NONE; t <= aiTextureType_UNKNOWN; ++t) {
        aiString path;
        if (m->GetTextureCount(aiTextureType(t)) > 0 &&
            m->GetTexture(aiTextureType(t), 0, &path) == AI_SUCCESS && path.length > 0)
            return path.C_Str();
    }
    return {};
}

void collect(const aiScene* scene, const aiNode* node, const aiMatrix4x4& parent, XMesh& out) {
    const aiMatrix4x4 m = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
        if (mesh->mMaterialIndex >= out.subsets.size()) continue;
        auto& subset = out.subsets[mesh->mMaterialIndex];
        const bool uv = mesh->HasTextureCoords(0);
        const bool col = mesh->HasVertexColors(0);
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) continue; // points and lines are not drawn
            for (unsigned k = 0; k < 3; ++k) {
                const unsigned v = face.mIndices[k];
                if (v >= mesh->mNumVertices) continue;
                XVertex x;
                const aiVector3D p = m * mesh->mVertices[v];
                x.position = {p.x, p.y, p.z};
                if (uv) x.uv = {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y};
                if (col) {
                    const aiColor4D& c = mesh->mColors[0][v];
                    x.colour = {c.r, c.g, c.b, c.a};
                }
                subset.push_back(x);
            }
        }
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        collect(scene, node->mChildren[i], m, out);
}

std::string read_file(const std::string& path) {
    auto fail = [&](int err) { return XLoadError("\"" + path + "\": " + std::strerror(err)); };
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw fail(errno);
    std::string data;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    const int err = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (err) throw fail(err); // a folder, an I/O error
    return data;
}

} // namespace

std::optional<XMesh> load_x_mesh(const std::string& path) {
    const std::string data = read_file(path);
    if (data.compare(0, 4, "xof ") != 0)
        throw XLoadError("\"" + path + "\": not a DirectX .x file (no \"xof \" header)");

    // The reader turns every format into a right-handed frame with counter-clockwise faces and
    // v up the image; ConvertToLeftHanded (left-handed + flipped UVs + flipped winding) undoes
    // all three and gives the file's own data back. No sorting, joining or splitting otherwise.
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(
        data.data(), data.size(), aiProcess_ConvertToLeftHanded | aiProcess_Triangulate, "x");
    if (!scene) throw XLoadError("\"" + path + "\": " + importer.GetErrorString());
    if (!scene->mRootNode || scene->mNumMeshes == 0) return std::nullopt;

    XMesh out;
    out.materials.resize(scene->mNumMaterials);
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* m = scene->mMaterials[i];
        XMaterial& x = out.materials[i];
        x.Diffuse = colour4(m, AI_MATKEY_COLOR_DIFFUSE, x.Diffuse);
        x.Specular = colour4(m, AI_MATKEY_COLOR_SPECULAR, x.Specular);
        x.Emissive = colour4(m, AI_MATKEY_COLOR_EMISSIVE, x.Emissive);
        x.Ambient = colour4(m, AI_MATKEY_COLOR_AMBIENT, x.Ambient);
        float power = 0;
        if (m->Get(AI_MATKEY_SHININESS, power) == AI_SUCCESS) x.Power = power;
        x.texture = texture_name(m);
    }
    out.subsets.resize(out.materials.size());
    collect(scene, scene->mRootNode, aiMatrix4x4(), out);
    if (out.triangle_count() == 0) return std::nullopt;
    return out;
}

} // namespace zento
