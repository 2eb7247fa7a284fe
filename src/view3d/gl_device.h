#pragma once
// Thin adapter from the window's 3D operations (clear, transforms, texture of stage 0, draw one
// subset) to OpenGL through Qt. The transforms are the row-vector, left-handed matrices of
// view3d/scene_math.h; the shader takes their transposes in reverse order, and turns the clip
// depth (0 at the near plane to 1 at the far plane after the divide) into OpenGL's -1..1 range,
// so the depth buffer holds the same 0..1 values.
//
// Fixed state, as the scene wants it: depth test on with less-or-equal and depth writes; faces
// whose corners run counter-clockwise on screen are culled; no lighting and no blending; on
// stage 0 the texture colour times the vertex colour (the vertex colour alone without a
// texture), point sampling, no mip-maps.
//
// Every call needs the device's OpenGL context to be current.
#include "view3d/scene_math.h"
#include "view3d/xmesh.h"

#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace zento {

// A 2D texture, uploaded with its first image row as texture row v = 0.
class GlTexture {
  public:
    ~GlTexture();
    GLuint id() const { return id_; }
    // error is set when the image cannot be a texture (empty, larger than the device allows).
    static std::unique_ptr<GlTexture> create(const QImage& image, QString* error);

  private:
    GlTexture() = default;
    GLuint id_ = 0;
};

// The model's vertices in one buffer, subset after subset.
class GlMesh {
  public:
    static std::unique_ptr<GlMesh> create(const XMesh& mesh);
    int subset_count() const { return int(ranges_.size()); }
    std::pair<int, int> range(int subset) const { return ranges_[std::size_t(subset)]; }
    QOpenGLBuffer& buffer() { return vbo_; }

  private:
    GlMesh() = default;
    QOpenGLBuffer vbo_{QOpenGLBuffer::VertexBuffer};
    std::vector<std::pair<int, int>> ranges_; // first vertex, vertex count
};

class GlDevice {
  public:
    enum Transform { World, View, Projection };

    ~GlDevice();
    // Made on the current context; no device (and error set) when the shaders do not build.
    static std::unique_ptr<GlDevice> create(QString* error);

    // Clears colour to black, depth to 1 and stencil to 0 on a width x height target.
    void Clear(int width, int height);
    void SetTransform(Transform t, const Mat4& m);
    const Mat4& transform(Transform t) const { return matrices_[t]; }
    // Sets the fixed state and the program; call before drawing, after anything else (a
    // painter) has touched the context.
    void BeginScene(int width, int height);
    void SetTexture(const GlTexture* texture); // nullptr: no texture
    void DrawSubset(GlMesh& mesh, int subset);
    void EndScene();

  private:
    GlDevice() = default;
    QOpenGLFunctions* gl_ = nullptr;
    QOpenGLShaderProgram program_;
    QOpenGLVertexArrayObject vao_;
    Mat4 matrices_[3] = {Identity(), Identity(), Identity()};
    const GlTexture* texture_ = nullptr;
    int loc_world_ = -1, loc_view_ = -1, loc_projection_ = -1, loc_textured_ = -1, loc_tex_ = -1;
};

} // namespace zento
