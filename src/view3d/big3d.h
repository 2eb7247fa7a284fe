#pragma once
// big3D: the 3D window. It shows the board's model (liti8.x in the program's folder) turned by
// the latest attitude, with twelve lines of the latest readings over it, redrawn every 50 ms
// while shown. The telemetry decoders write the LatestValues record; this window only reads it,
// at each frame.
//
// Lifecycle: Show3D (the main window's "3D Show") loads the window the first time (Form_Load:
// OpenGL device, model, textures), then enables the timer and shows it. "Back" stops the timer
// and hides it, keeping the device and model. Closing it with the close box releases the 3D
// objects and ends the program.
//
// Failures: no OpenGL context shows the help Dialog and the load goes on; a model file that holds
// no mesh shows "Unable to Create VertexBuffer" and ends the program; a model or texture that
// cannot be loaded (missing, unreadable, malformed, or no device to load it into) is reported
// with its file name and reason, and the program ends. Ending the program and showing a message
// box go through the replaceable hooks end_program and message_box.
#include "telemetry/latest_values.h"
#include "view3d/gl_device.h"
#include "view3d/scene_math.h"
#include "view3d/xmesh.h"

#include <QFont>
#include <QOpenGLWidget>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPushButton;
class QTimer;
class QOpenGLContext;

namespace zento {

class Dialog;

// The drawing surface: a fixed-size OpenGL surface whose frames the window draws.
class DrawingSurface : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit DrawingSurface(QWidget* parent);
    std::function<void()> paint; // draws one frame; the context is current

  protected:
    void paintGL() override;
};

class Big3D : public QWidget {
    Q_OBJECT
  public:
    Big3D(const LatestValues& values, QString programFolder, QWidget* parent = nullptr);
    ~Big3D() override;

    // The main window's "3D Show": enables the timer (loading the window first, the first time
    // only) and shows the window without waiting.
    void Show3D();

    // Controls. Picture1 is the drawing surface; the OpenGL view that shows the frames is made
    // inside it by InitD3D, only when the system has OpenGL (a window holding an OpenGL view
    // cannot even be shown on a platform without it).
    QWidget* Picture1;
    DrawingSurface* surface() const { return gl_; }
    QPushButton* Command1;                     // "Back"
    QPushButton* Command2;                     // "Heading zero"
    QTimer* Timer1;                            // 50 ms, renders while enabled
    Dialog* dialog() const { return Dialog_; } // the help dialog, once shown

    // Heading offset in degrees: 0 when the window loads, set by "Heading zero".
    float yaw_zero = 0;

    // Ends the program at once. The default stops where the program stands: nothing more of any
    // window runs (no closing handler, no timer) and the process releases what it holds.
    std::function<void()> end_program;
    // Shows a message and waits for the user (OK only, no icon).
    std::function<void(const QString& caption, const QString& text)> message_box;
    QString app_title = QStringLiteral("Zento"); // caption of the message boxes

    // Window events and procedures.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    void Timer1_Timer();
    bool InitD3D(QWidget& hWnd, const QFont& font);
    bool InitGeometry();
    void SetupMatrices(QPainter& overlay);
    void Render();
    void Cleanup();
    static Vec3 vec3(float x, float y, float z) { return zento::vec3(x, y, z); }

    // State, for the owner and for tests.
    bool loaded() const { return loads_ > 0; }
    int load_count() const { return loads_; }
    bool has_device() const { return device != nullptr; }
    bool has_mesh() const { return mesh != nullptr; }
    int num_materials_loaded() const { return num_materials; }
    const std::vector<XMaterial>& materials() const { return mesh_materials; }
    bool has_texture(int i) const;
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
    void paint_frame();
    void end_now();
    QString model_path() const;

    const LatestValues& values_;
    QString folder_;
    int loads_ = 0;
    int frames_ = 0;
    bool ended_ = false;
    Dialog* Dialog_ = nullptr;
    DrawingSurface* gl_ = nullptr;

    // 3D objects, released by Cleanup.
    QOpenGLContext* d3d = nullptr; // the surface's OpenGL context (not owned)
    std::unique_ptr<GlDevice> device;
    std::unique_ptr<GlMesh> mesh;
    std::vector<XMaterial> mesh_materials;
    std::vector<std::unique_ptr<GlTexture>> mesh_textures;
    int num_materials = 0;
    QFont ui_font;
    QFont text_font;
};

} // namespace zento
