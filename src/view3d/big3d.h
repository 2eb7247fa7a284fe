#pragma once
// big3D: the 3D window. It shows the board's model (liti8.x in the program's folder) turned by
// the latest attitude, with twelve lines of the latest readings over it, redrawn every 50 ms
// while shown. The telemetry decoders write the LatestValues record; this window only reads it,
// at each frame.
//
// Lifecycle: Show3D (the main window's "3D Show") loads the window the first time (Form_Load:
// OpenGL device, model, textures), then enables the timer and shows it. "Back" stops the timer
// and hides it, keeping the device and model. Closing it with the close box releases the 3D
// objects and ends the program (status 0: the user asked for it).
//
// Failures: no OpenGL context shows the help Dialog and the load goes on. A model file that
// holds no mesh shows "Unable to Create VertexBuffer"; a model or texture that cannot be loaded
// (missing, not a regular file, unreadable, malformed, too large, or no device to load it into)
// is shown with its file name and reason. Either way the message is also written to the
// owner's log (show_msg), then the window closes itself: the 3D objects are released, the window
// is hidden and the rest of the program goes on; the next Show3D loads it again. Ending the
// program, showing a message box and logging go through the replaceable hooks end_program,
// message_box and show_msg.
#include "telemetry/latest_values.h"
#include "view3d/gl_device.h"
#include "view3d/scene_math.h"
#include "view3d/xmesh.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class QPushButton;
class QTimer;
class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace zento {

class HelpDialog;

// The drawing surface: a fixed-size picture whose frames the window draws with OpenGL. The
// frames are rendered off screen (a context of its own, a framebuffer object with depth and
// stencil) and the finished image is shown like any other widget content. An OpenGL view inside
// the window would make the window system compose the whole top-level window through OpenGL at
// every frame, which costs a software renderer many times the drawing itself.
class DrawingSurface : public QWidget {
    Q_OBJECT
  public:
    explicit DrawingSurface(QWidget* parent);
    ~DrawingSurface() override;

    // Makes the context and the framebuffer object at the surface's size; false when the
    // platform has no OpenGL for its windows (or no framebuffer objects).
    bool create();
    bool isValid() const;
    QOpenGLContext* context() const { return context_.get(); }
    QOpenGLFramebufferObject* framebufferObject() const { return fbo_.get(); }
    // Makes the context current with the framebuffer object bound; doneCurrent releases it.
    void makeCurrent();
    void doneCurrent();

    std::function<void()> paint; // draws one frame; the context is current, the target bound

    // Draws a frame (paint) and keeps it as the picture shown; the next paint event shows it.
    void render();
    // The frame's size in device pixels.
    QSize targetSize() const;
    // Draws a frame and returns it as the surface shows it.
    QImage grabFramebuffer();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void draw(); // render without asking for a paint
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> offscreen_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    QImage image_; // the last frame, top row first
};

class Big3D : public QWidget {
    Q_OBJECT
  public:
    Big3D(const LatestValues& values, QString programFolder, QWidget* parent = nullptr);
    ~Big3D() override;

    // The main window's "3D Show": enables the timer (loading the window first, the first time
    // only) and shows the window without waiting.
    void Show3D();

    // Controls, by role; each objectName is its designer id. drawingArea (Picture1) is where the
    // frames show; the surface that shows them is made inside it by InitDevice, only when the
    // system has OpenGL.
    QWidget* drawingArea;
    DrawingSurface* surface() const { return gl_; }
    QPushButton* backButton;                            // "Back"
    QPushButton* headingZeroButton;                     // "Heading zero"
    QTimer* renderTimer;                                // 50 ms, renders while enabled
    HelpDialog* dialog() const { return help_dialog_; } // the help dialog, once shown

    // Heading offset in degrees: 0 when the window loads, set by "Heading zero".
    float yaw_zero = 0;

    // Ends the program at once (the close box). The default stops where the program stands:
    // nothing more of any window runs (no closing handler, no timer) and the process releases
    // what it holds; the exit status is 0.
    std::function<void()> end_program;
    // Writes one line to the owner's message log (a load that failed); may be empty.
    std::function<void(const QString& line)> show_msg;
    // Shows a message and waits for the user (OK only, no icon).
    std::function<void(const QString& caption, const QString& text)> message_box;
    QString app_title = QStringLiteral("Zento"); // caption of the message boxes

    // Window events and procedures.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Go_back();
    void Zero_heading();
    bool InitDevice(QWidget& area, const QFont& font);
    bool InitGeometry();
    void SetupMatrices(QPainter& overlay);
    void Render();
    void Cleanup();
    static Vec3 vec3(float x, float y, float z) { return zento::vec3(x, y, z); }

    // State, for the owner and for tests.
    bool loaded() const { return loaded_; }
    int load_count() const { return loads_; }
    bool has_device() const { return device != nullptr; }
    bool has_mesh() const { return mesh != nullptr; }
    int num_materials_loaded() const { return num_materials; }
    const std::vector<XMaterial>& materials() const { return mesh_materials; }
    bool has_texture(int i) const;
    // Frames shown by the timer or grabbed. A timer frame whose inputs (attitude, heading
    // offset, overlay texts, target size) equal those of the frame on screen is shown by
    // leaving that one there: the picture would be the same pixels.
    int frames_drawn() const { return frames_; }
    // The overlay's twelve lines as drawn: top in pixels and text.
    struct OverlayLine {
        int top;
        QString text;
    };
    std::vector<OverlayLine> overlay_lines() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Everything a frame's pixels depend on besides what loading fixes (model, textures, font).
    struct FrameInputs {
        float roll = 0, pitch = 0, yaw = 0, yaw_zero = 0;
        std::array<std::string, 12> texts;
        QSize target;
        bool operator==(const FrameInputs&) const = default;
    };
    FrameInputs frame_inputs() const;
    void paint_frame();
    void end_now();
    void close_after_failure(const QString& text);
    QString model_path() const;

    const LatestValues& values_;
    QString folder_;
    int loads_ = 0;
    bool loaded_ = false; // Form_Load succeeded and the window has not closed itself since
    int frames_ = 0;
    std::optional<FrameInputs> on_screen_; // inputs of the frame the surface holds
    bool ended_ = false;
    HelpDialog* help_dialog_ = nullptr;
    DrawingSurface* gl_ = nullptr;

    // 3D objects, released by Cleanup.
    QOpenGLContext* gl_context = nullptr; // the surface's OpenGL context (not owned)
    std::unique_ptr<GlDevice> device;
    std::unique_ptr<GlMesh> mesh;
    std::vector<XMaterial> mesh_materials;
    std::vector<std::unique_ptr<GlTexture>> mesh_textures;
    int num_materials = 0;
    QFont ui_font;
    QFont text_font;
};

} // namespace zento
