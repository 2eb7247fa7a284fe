#include "view3d/gl_device.h"

#include <QOpenGLContext>

namespace zento {

namespace {

// GLSL 1.20 runs on every desktop context, llvmpipe's compatibility profile included.
const char* const kVertexShader = R"(#version 120
attribute vec3 position;
attribute vec2 texcoord;
attribute vec4 colour;
// The row-vector matrices, uploaded unchanged as column-major data: each arrives transposed.
uniform mat4 world;
uniform mat4 view;
uniform mat4 projection;
varying vec2 uv;
varying vec4 vertex_colour;
void main() {
    vec4 p = projection * (view * (world * vec4(position, 1.0)));
    // Clip depth 0..w (near..far) to OpenGL's -w..w: the stored depth stays z / w.
    p.z = 2.0 * p.z - p.w;
    gl_Position = p;
    uv = texcoord;
    vertex_colour = colour;
}
)";

const char* const kFragmentShader = R"(#version 120
uniform sampler2D tex;
uniform bool textured;
varying vec2 uv;
varying vec4 vertex_colour;
void main() {
    vec4 c = textured ? texture2D(tex, uv) * vertex_colour : vertex_colour;
    gl_FragColor = vec4(c.rgb, 1.0); // opaque target, as with no alpha blending
}
)";

constexpr int kFloatsPerVertex = 9; // position 3, uv 2, colour 4

QOpenGLFunctions* current_functions() {
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    return ctx ? ctx->functions() : nullptr;
}

} // namespace

GlTexture::~GlTexture() {
    if (QOpenGLFunctions* gl = current_functions(); gl && id_) gl->glDeleteTextures(1, &id_);
}

std::unique_ptr<GlTexture> GlTexture::create(const QImage& image, QString* error) {
    QOpenGLFunctions* gl = current_functions();
    if (!gl) {
        *error = QStringLiteral("no OpenGL context");
        return nullptr;
    }
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        *error = QStringLiteral("the image is empty");
        return nullptr;
    }
    GLint max_size = 0;
    gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (image.width() > max_size || image.height() > max_size) {
        *error = QStringLiteral("the image is %1 x %2 pixels, more than the %3 the device allows")
                     .arg(image.width())
                     .arg(image.height())
                     .arg(max_size);
        return nullptr;
    }
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::unique_ptr<GlTexture> t(new GlTexture);
    gl->glGenTextures(1, &t->id_);
    gl->glBindTexture(GL_TEXTURE_2D, t->id_);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // Rows top to bottom: image row 0 is v = 0, as in the model file's texture coordinates.
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rgba.width(), rgba.height(), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, rgba.constBits());
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

std::unique_ptr<GlMesh> GlMesh::create(const XMesh& mesh) {
    std::unique_ptr<GlMesh> m(new GlMesh);
    std::vector<float> data;
    data.reserve(mesh.triangle_count() * 3 * kFloatsPerVertex);
    int first = 0;
    for (const auto& subset : mesh.subsets) {
        for (const XVertex& v : subset) {
            data.insert(data.end(), v.position.begin(), v.position.end());
            data.insert(data.end(), v.uv.begin(), v.uv.end());
            data.insert(data.end(), v.colour.begin(), v.colour.end());
        }
        m->ranges_.emplace_back(first, int(subset.size()));
        first += int(subset.size());
    }
    if (!m->vbo_.create()) return nullptr;
    m->vbo_.setUsagePattern(QOpenGLBuffer::StaticDraw);
    m->vbo_.bind();
    m->vbo_.allocate(data.data(), int(data.size() * sizeof(float)));
    m->vbo_.release();
    return m;
}

GlDevice::~GlDevice() = default;

std::unique_ptr<GlDevice> GlDevice::create(QString* error) {
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    if (!ctx || !ctx->isValid()) {
        *error = QStringLiteral("no OpenGL context");
        return nullptr;
    }
    std::unique_ptr<GlDevice> d(new GlDevice);
    d->gl_ = ctx->functions();
    QOpenGLShaderProgram& p = d->program_;
    if (!p.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !p.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader)) {
        *error = p.log();
        return nullptr;
    }
    p.bindAttributeLocation("position", 0);
    p.bindAttributeLocation("texcoord", 1);
    p.bindAttributeLocation("colour", 2);
    if (!p.link()) {
        *error = p.log();
        return nullptr;
    }
    d->loc_world_ = p.uniformLocation("world");
    d->loc_view_ = p.uniformLocation("view");
    d->loc_projection_ = p.uniformLocation("projection");
    d->loc_textured_ = p.uniformLocation("textured");
    d->loc_tex_ = p.uniformLocation("tex");
    d->vao_.create(); // optional on a compatibility context; used when there is one
    return d;
}

void GlDevice::Clear(int width, int height) {
    gl_->glViewport(0, 0, width, height);
    gl_->glDisable(GL_SCISSOR_TEST);
    gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl_->glDepthMask(GL_TRUE);
    gl_->glStencilMask(0xFF);
    gl_->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl_->glClearDepthf(1.0f);
    gl_->glClearStencil(0);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GlDevice::SetTransform(Transform t, const Mat4& m) {
    matrices_[t] = m;
}

void GlDevice::BeginScene(int width, int height) {
    gl_->glViewport(0, 0, width, height);
    gl_->glDisable(GL_SCISSOR_TEST);
    gl_->glDisable(GL_STENCIL_TEST);
    gl_->glDisable(GL_BLEND);
    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glDepthFunc(GL_LEQUAL);
    gl_->glDepthMask(GL_TRUE);
    gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Screen-space counter-clockwise faces are culled: the image is not mirrored between the
    // scene's y-down screen and OpenGL's y-up window, so clockwise-looking faces are front.
    gl_->glEnable(GL_CULL_FACE);
    gl_->glFrontFace(GL_CW);
    gl_->glCullFace(GL_BACK);
    if (vao_.isCreated()) vao_.bind();
    program_.bind();
    // Row-major row-vector data read as column-major: the transpose, as the shader wants it.
    gl_->glUniformMatrix4fv(loc_world_, 1, GL_FALSE, matrices_[World].data());
    gl_->glUniformMatrix4fv(loc_view_, 1, GL_FALSE, matrices_[View].data());
    gl_->glUniformMatrix4fv(loc_projection_, 1, GL_FALSE, matrices_[Projection].data());
    gl_->glUniform1i(loc_tex_, 0);
    gl_->glActiveTexture(GL_TEXTURE0);
    SetTexture(nullptr);
}

void GlDevice::SetTexture(const GlTexture* texture) {
    texture_ = texture;
    gl_->glBindTexture(GL_TEXTURE_2D, texture ? texture->id() : 0);
    gl_->glUniform1i(loc_textured_, texture ? 1 : 0);
}

void GlDevice::DrawSubset(GlMesh& mesh, int subset) {
    if (subset < 0 || subset >= mesh.subset_count()) return;
    const auto [first, count] = mesh.range(subset);
    if (count < 3) return;
    mesh.buffer().bind();
    const GLsizei stride = kFloatsPerVertex * sizeof(float);
    gl_->glEnableVertexAttribArray(0);
    gl_->glEnableVertexAttribArray(1);
    gl_->glEnableVertexAttribArray(2);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    gl_->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                               reinterpret_cast<const void*>(3 * sizeof(float)));
    gl_->glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                               reinterpret_cast<const void*>(5 * sizeof(float)));
    gl_->glDrawArrays(GL_TRIANGLES, first, count);
    gl_->glDisableVertexAttribArray(0);
    gl_->glDisableVertexAttribArray(1);
    gl_->glDisableVertexAttribArray(2);
    mesh.buffer().release();
}

void GlDevice::EndScene() {
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
    program_.release();
    if (vao_.isCreated()) vao_.release();
    gl_->glDisable(GL_CULL_FACE);
    gl_->glDisable(GL_DEPTH_TEST);
}

} // namespace zento
