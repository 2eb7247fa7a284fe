#include "view3d/big3d.h"

#include "view3d/help_dialog.h"
#include "view3d/texture_file.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace zento {

namespace {

constexpr int kSurfaceWidth = 821, kSurfaceHeight = 601; // 12315 x 9015 twips
constexpr char kModelFileName[] = "liti8.x";

// The window's icon: the board seen from above.
QIcon board_icon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(235, 235, 225));
    p.setBrush(QColor(16, 96, 48));
    p.drawRoundedRect(QRectF(1.5, 6.5, 29, 19), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 25, 28));
    p.drawRect(11, 11, 10, 10);
    p.setBrush(QColor(255, 0, 0));
    p.drawRect(25, 14, 4, 4);
    p.setBrush(QColor(0, 0, 255));
    p.drawRect(3, 14, 4, 4);
    p.setBrush(QColor(236, 232, 220));
    p.drawRect(9, 22, 14, 3);
    return QIcon(pm);
}

QString from_std(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

namespace {

// Paints into the surface's framebuffer object, whatever the paint engine bound meanwhile.
class FboPaintDevice : public QOpenGLPaintDevice {
  public:
    FboPaintDevice(QOpenGLFramebufferObject& fbo, qreal dpr)
        : QOpenGLPaintDevice(fbo.size()), fbo_(fbo) {
        setDevicePixelRatio(dpr);
    }
    void ensureActiveTarget() override { fbo_.bind(); }

  private:
    QOpenGLFramebufferObject& fbo_;
};

} // namespace

DrawingSurface::DrawingSurface(QWidget* parent) : QWidget(parent) {
    // Every pixel comes from the frame (black until the first one).
    setAttribute(Qt::WA_OpaquePaintEvent);
}

DrawingSurface::~DrawingSurface() {
    if (fbo_ && context_->makeCurrent(offscreen_.get())) {
        fbo_.reset();
        context_->doneCurrent();
    }
}

bool DrawingSurface::create() {
    if (isValid()) return true;
    // The offscreen platform keeps OpenGL out of its windows (it may borrow a display's OpenGL
    // for contexts of its own): there the window is one without OpenGL, as on a system without.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return false;
    QSurfaceFormat f = QSurfaceFormat::defaultFormat();
    f.setDepthBufferSize(24);
    f.setStencilBufferSize(8);
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(f);
    if (!context->create()) return false;
    auto offscreen = std::make_unique<QOffscreenSurface>();
    offscreen->setFormat(context->format());
    offscreen->create();
    if (!offscreen->isValid() || !context->makeCurrent(offscreen.get())) return false;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    if (QOpenGLFramebufferObject::hasOpenGLFramebufferObjects()) {
        fbo = std::make_unique<QOpenGLFramebufferObject>(
            targetSize(), QOpenGLFramebufferObject::CombinedDepthStencil);
        if (!fbo->isValid()) fbo.reset();
    }
    context->doneCurrent();
    if (!fbo) return false;
    context_ = std::move(context);
    offscreen_ = std::move(offscreen);
    fbo_ = std::move(fbo);
    return true;
}

bool DrawingSurface::isValid() const {
    return context_ && context_->isValid() && fbo_ && fbo_->isValid();
}

void DrawingSurface::makeCurrent() {
    if (context_ && context_->makeCurrent(offscreen_.get()) && fbo_) fbo_->bind();
}

void DrawingSurface::doneCurrent() {
    if (context_) context_->doneCurrent();
}

QSize DrawingSurface::targetSize() const {
    const qreal dpr = devicePixelRatioF();
    return QSize(int(width() * dpr), int(height() * dpr));
}

void DrawingSurface::render() {
    draw();
    update(); // a grabbed frame is the one on screen too
}

void DrawingSurface::draw() {
    if (!isValid() || !paint) return;
    makeCurrent();
    if (fbo_->size() != targetSize()) { // moved to a screen of another pixel ratio
        fbo_ = std::make_unique<QOpenGLFramebufferObject>(
            targetSize(), QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo_->bind();
    }
    paint();
    // Read back as 0xAARRGGBB words (the frame is opaque: cleared with alpha 1, drawn opaque or
    // with premultiplied blending), bottom row first, then turned the right way up.
    const QSize size = fbo_->size();
    if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
    QOpenGLFunctions* gl = context_->functions();
    fbo_->bind();
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, size.width(), size.height(), GL_BGRA, GL_UNSIGNED_BYTE, image_.bits());
    doneCurrent();
    image_.mirror();
    image_.setDevicePixelRatio(devicePixelRatioF());
}

QImage DrawingSurface::grabFramebuffer() {
    render();
    return image_;
}

void DrawingSurface::paintEvent(QPaintEvent* event) {
    if (image_.isNull()) draw(); // the first frame, when the window first shows
    QPainter p(this);
    p.setClipRegion(event->region());
    if (image_.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(QPoint(0, 0), image_);
}

Big3D::Big3D(const LatestValues& values, QString programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), values_(values), folder_(std::move(programFolder)) {
    setWindowTitle(QStringLiteral("Tavro AHRS 3D Show"));
    setWindowIcon(board_icon());
    resize(827, 619); // client area 12405 x 9285 twips

    // No layout: the surface keeps its design size whatever the window's size.
    drawingArea = new QWidget(this);
    drawingArea->setObjectName(QStringLiteral("Picture1"));
    drawingArea->setGeometry(0, 0, kSurfaceWidth, kSurfaceHeight);
    drawingArea->setFixedSize(kSurfaceWidth, kSurfaceHeight);
    QPalette black = drawingArea->palette();
    black.setColor(QPalette::Window, Qt::black);
    drawingArea->setPalette(black);
    drawingArea->setAutoFillBackground(true);

    // The buttons lie over the surface's right-hand part: left 10920, tops 240 and 840,
    // 1215 x 495 twips.
    backButton = new QPushButton(QStringLiteral("Back"), this);
    backButton->setObjectName(QStringLiteral("Command1"));
    backButton->setGeometry(728, 16, 81, 33);
    headingZeroButton = new QPushButton(QStringLiteral("Heading zero"), this);
    headingZeroButton->setObjectName(QStringLiteral("Command2"));
    headingZeroButton->setGeometry(728, 56, 81, 33);
    headingZeroButton->setToolTip(
        QStringLiteral("将当然航向设置成偏置，当你的显示器不是向北的时候可以使用它来纠正"));
    backButton->raise();
    headingZeroButton->raise();
    connect(backButton, &QPushButton::clicked, this, [this] { Go_back(); });
    connect(headingZeroButton, &QPushButton::clicked, this, [this] { Zero_heading(); });

    renderTimer = new QTimer(this);
    renderTimer->setObjectName(QStringLiteral("Timer1"));
    renderTimer->setInterval(50); // disabled until the window has loaded
    connect(renderTimer, &QTimer::timeout, this, [this] { Render(); });

    end_program = [] {
        // Stop where the program stands, like the exit items: no handler of any window runs
        // after this; the system releases the port, the window-system connection and memory.
        std::fflush(nullptr);
        std::_Exit(0);
    };
    message_box = [this](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
        box.exec();
    };
}

Big3D::~Big3D() {
    renderTimer->stop();
    Cleanup();
}

void Big3D::Show3D() {
    if (ended_) return;
    // Enabling the timer loads the window the first time.
    if (!loaded_) {
        Form_Load();
        if (!loaded_) return; // it failed and closed itself
    }
    if (!renderTimer->isActive()) renderTimer->start();
    show();
    raise();
    activateWindow();
}

QString Big3D::model_path() const {
    return folder_ + QLatin1Char('/') + kModelFileName;
}

void Big3D::Form_Load() {
    ++loads_;
    on_screen_.reset();
    yaw_zero = 0;
    // On screen before the device is made.
    show();
    QCoreApplication::processEvents();

    if (!InitDevice(*drawingArea, font())) {
        if (!help_dialog_) help_dialog_ = new HelpDialog(this);
        help_dialog_->show();
    }

    bool loaded_ok = false;
    try {
        loaded_ok = InitGeometry();
    } catch (const std::exception& e) { // XLoadError, or out of memory
        close_after_failure(
            QStringLiteral("The 3D model cannot be loaded.\n\n%1").arg(from_std(e.what())));
        return;
    }
    if (!loaded_ok) {
        close_after_failure(QStringLiteral("Unable to Create VertexBuffer"));
        return;
    }

    text_font = ui_font; // the overlay is written in the window's own font
    loaded_ = true;
    if (!renderTimer->isActive()) renderTimer->start();
}

void Big3D::close_after_failure(const QString& text) {
    renderTimer->stop();
    message_box(app_title, text);
    if (show_msg) {
        QString line = text;
        line.replace(QStringLiteral("\n\n"), QStringLiteral(" "))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        show_msg(QStringLiteral("3D window closed: ") + line);
    }
    Cleanup();
    hide();
}

void Big3D::end_now() {
    ended_ = true;
    renderTimer->stop();
    end_program();
}

bool Big3D::InitDevice(QWidget& area, const QFont& font) {
    ui_font = font;
    if (!gl_) {
        auto surface = std::make_unique<DrawingSurface>(&area);
        surface->setObjectName(QStringLiteral("Picture1View"));
        surface->setGeometry(0, 0, area.width(), area.height());
        surface->setFixedSize(area.size());
        if (!surface->create()) return false; // no OpenGL on this system
        gl_ = surface.release();
        gl_->paint = [this] { paint_frame(); };
        gl_->show();
    }
    gl_context = gl_->context();
    if (!gl_context || !gl_context->isValid() || !gl_->isValid()) {
        gl_context = nullptr;
        return false;
    }
    gl_->makeCurrent();
    QString error;
    device = GlDevice::create(&error);
    gl_->doneCurrent();
    if (!device) qWarning("3D window: no OpenGL device: %s", qPrintable(error));
    return device != nullptr;
}

bool Big3D::InitGeometry() {
    const QString file = model_path();
    if (!device)
        throw XLoadError("\"" + file.toStdString() + "\": no OpenGL device to load the model into");
    std::optional<XMesh> x = load_x_mesh(local_path(file));
    if (!x) return false; // the file holds no mesh

    gl_->makeCurrent();
    struct DoneCurrent {
        DrawingSurface* s;
        ~DoneCurrent() { s->doneCurrent(); }
    } done{gl_};

    mesh = GlMesh::create(*x);
    if (!mesh) return false;
    num_materials = int(x->materials.size());
    mesh_materials.assign(x->materials.begin(), x->materials.end());
    mesh_textures.clear();
    mesh_textures.resize(std::size_t(num_materials));
    for (int i = 0; i < num_materials; ++i) {
        XMaterial& m = mesh_materials[std::size_t(i)];
        m.Ambient = m.Diffuse;
        if (m.texture.empty()) continue; // drawn without a texture
        QString name = from_std(m.texture);
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString path = folder_ + QLatin1Char('/') + name;
        QString error;
        const QImage image = read_texture_file(path, &error);
        if (!image.isNull()) mesh_textures[std::size_t(i)] = GlTexture::create(image, &error);
        if (!mesh_textures[std::size_t(i)])
            throw XLoadError("\"" + path.toStdString() + "\": " + error.toStdString());
    }
    return true;
}

void Big3D::Cleanup() {
    const bool current = gl_ && gl_->context() && gl_->isValid();
    if (current) gl_->makeCurrent();
    mesh_textures.clear();
    mesh_materials.clear();
    mesh.reset();
    device.reset();
    gl_context = nullptr;
    num_materials = 0;
    on_screen_.reset();
    if (current) gl_->doneCurrent();
}

bool Big3D::has_texture(int i) const {
    return i >= 0 && std::size_t(i) < mesh_textures.size() && mesh_textures[std::size_t(i)];
}

void Big3D::Go_back() {
    renderTimer->setInterval(50);
    renderTimer->stop();
    hide();
}

void Big3D::Zero_heading() {
    yaw_zero = values_.Yaw;
}

void Big3D::Form_Resize() {
    // Neither the drawing surface nor the device follows the window's size.
}

void Big3D::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Big3D::Form_Unload() {
    Cleanup();
    end_now();
}

void Big3D::closeEvent(QCloseEvent* event) {
    if (!ended_) Form_Unload();
    event->accept();
}

void Big3D::Render() {
    if (!device) return;
    if (on_screen_ && *on_screen_ == frame_inputs()) { // the same picture: it stays
        ++frames_;
        return;
    }
    gl_->render();  // draws the frame now (paint_frame)
    gl_->repaint(); // and presents it
}

Big3D::FrameInputs Big3D::frame_inputs() const {
    const LatestValues& v = values_;
    return {v.Roll,
            v.Pitch,
            v.Yaw,
            yaw_zero,
            {v.str_roll, v.str_pitch, v.str_yaw, v.str_gyro_x, v.str_gyro_y, v.str_gyro_z,
             v.str_acc_x, v.str_acc_y, v.str_acc_z, v.str_mag_x, v.str_mag_y, v.str_mag_z},
            gl_ ? gl_->targetSize() : QSize()};
}

std::vector<Big3D::OverlayLine> Big3D::overlay_lines() const {
    const LatestValues& v = values_;
    return {
        {20, QStringLiteral("Roll  = ") + from_std(v.str_roll)},
        {40, QStringLiteral("Pitch = ") + from_std(v.str_pitch)},
        {60, QStringLiteral("Yaw   = ") + from_std(v.str_yaw)},
        {300, QStringLiteral("GyroX = ") + from_std(v.str_gyro_x)},
        {320, QStringLiteral("GyroY = ") + from_std(v.str_gyro_y)},
        {340, QStringLiteral("GyroZ = ") + from_std(v.str_gyro_z)},
        {380, QStringLiteral("AccX = ") + from_std(v.str_acc_x)},
        {400, QStringLiteral("AccY = ") + from_std(v.str_acc_y)},
        {420, QStringLiteral("AccZ = ") + from_std(v.str_acc_z)},
        {460, QStringLiteral("MagneticX = ") + from_std(v.str_mag_x)},
        {480, QStringLiteral("MagneticY = ") + from_std(v.str_mag_y)},
        {500, QStringLiteral("MagneticZ = ") + from_std(v.str_mag_z)},
    };
}

void Big3D::SetupMatrices(QPainter& overlay) {
    const SceneMatrices s = scene_matrices(values_.Roll, values_.Pitch, values_.Yaw, yaw_zero);
    device->SetTransform(GlDevice::World, s.world);
    device->SetTransform(GlDevice::View, s.view);
    device->SetTransform(GlDevice::Projection, s.projection);

    overlay.setFont(text_font);
    overlay.setPen(QColor(0, 255, 255));
    for (const OverlayLine& line : overlay_lines())
        overlay.drawText(QRect(10, line.top, kSurfaceWidth, kSurfaceHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                         line.text);
}

void Big3D::paint_frame() {
    if (!device) return;
    ++frames_;
    on_screen_ = frame_inputs();
    const qreal dpr = gl_->devicePixelRatioF();
    const int w = int(gl_->width() * dpr), h = int(gl_->height() * dpr);

    // Paint into the surface's framebuffer object.
    FboPaintDevice target(*gl_->framebufferObject(), dpr);
    QPainter p(&target);
    p.beginNativePainting();
    device->Clear(w, h);
    p.endNativePainting();

    SetupMatrices(p); // the overlay goes under the model

    p.beginNativePainting();
    device->BeginScene(w, h);
    for (int i = 0; i < num_materials; ++i) {
        // The material has no effect with lighting off; the texture of stage 0 does.
        device->SetTexture(mesh_textures[std::size_t(i)].get());
        if (mesh) device->DrawSubset(*mesh, i);
    }
    device->EndScene();
    p.endNativePainting();
    p.end(); // the surface reads the frame back
}

} // namespace zento
