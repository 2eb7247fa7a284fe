// The 3D window on OpenGL (Mesa under Xvfb): what each frame shows, the window's lifecycle and
// its failure paths. Positions are checked against the scene arithmetic's projection of the
// model's marker pads; the overlay against the same text drawn by QPainter on an image.
#include "qt_test.h"
#include "view3d_test_util.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <map>

#include <sys/stat.h>

using namespace view3d_test;
using namespace zento;

namespace {

#define REQUIRE_GL()                                                                               \
    if (!zento_test::gl_available())                                                               \
    GTEST_SKIP() << "no X display for OpenGL: run under xvfb-run -a"

constexpr int kW = 821, kH = 601;

// ---- overlay -------------------------------------------------------------------------------

struct Line {
    int top;
    QString text;
};

std::vector<Line> expected_lines(const LatestValues& v) {
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    return {{20, "Roll  = " + q(v.str_roll)},       {40, "Pitch = " + q(v.str_pitch)},
            {60, "Yaw   = " + q(v.str_yaw)},        {300, "GyroX = " + q(v.str_gyro_x)},
            {320, "GyroY = " + q(v.str_gyro_y)},    {340, "GyroZ = " + q(v.str_gyro_z)},
            {380, "AccX = " + q(v.str_acc_x)},      {400, "AccY = " + q(v.str_acc_y)},
            {420, "AccZ = " + q(v.str_acc_z)},      {460, "MagneticX = " + q(v.str_mag_x)},
            {480, "MagneticY = " + q(v.str_mag_y)}, {500, "MagneticZ = " + q(v.str_mag_z)}};
}

bool cyanish(QRgb p) {
    return qRed(p) < 60 && qGreen(p) > 70 && qBlue(p) > 70 && std::abs(qGreen(p) - qBlue(p)) < 30;
}

struct Mask {
    std::vector<bool> bits;
    int count = 0;
    QRect box;
};

Mask cyan_mask(const QImage& im, const QRect& band) {
    const QImage img = im.convertToFormat(QImage::Format_RGB32);
    Mask m;
    m.bits.assign(std::size_t(band.width() * band.height()), false);
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            if (cyanish(img.pixel(x, y))) {
                m.bits[std::size_t((y - band.top()) * band.width() + (x - band.left()))] = true;
                ++m.count;
                m.box = m.box.united(QRect(x, y, 1, 1));
            }
    return m;
}

// Each line's cyan pixels match the same text drawn by QPainter in the window's font with its
// top-left corner at (10, top).
void expect_overlay(const QImage& frame, const QFont& font, const std::vector<Line>& lines) {
    QImage ref(kW, kH, QImage::Format_RGB32);
    ref.fill(Qt::black);
    {
        QPainter p(&ref);
        p.setFont(font);
        p.setPen(QColor(0, 255, 255));
        for (const Line& l : lines)
            p.drawText(QPoint(10, l.top + QFontMetrics(font).ascent()), l.text);
    }
    for (const Line& l : lines) {
        const QRect band(0, l.top - 2, 330, 20);
        const Mask want = cyan_mask(ref, band), got = cyan_mask(frame, band);
        ASSERT_GT(want.count, 20) << l.text.toStdString();
        int diff = 0;
        for (std::size_t i = 0; i < want.bits.size(); ++i)
            diff += want.bits[i] != got.bits[i];
        EXPECT_LE(diff, std::max(6, want.count / 8))
            << "line \"" << l.text.toStdString() << "\": " << got.count << " cyan pixels, "
            << want.count << " expected";
        EXPECT_NEAR(got.box.left(), want.box.left(), 1) << l.text.toStdString();
        EXPECT_NEAR(got.box.top(), want.box.top(), 1) << l.text.toStdString();
        EXPECT_NEAR(got.box.right(), want.box.right(), 1) << l.text.toStdString();
    }
    // Full-coverage glyph pixels carry the overlay's colour exactly.
    const QImage img = frame.convertToFormat(QImage::Format_RGB32);
    bool exact = false;
    for (int y = 15; y < 40 && !exact; ++y)
        for (int x = 10; x < 60 && !exact; ++x)
            exact = img.pixel(x, y) == qRgb(0, 255, 255);
    EXPECT_TRUE(exact) << "no pixel of (0, 255, 255) in the first line";
}

// ---- model pose ----------------------------------------------------------------------------

void expect_markers(const QImage& frame, float Roll, float Pitch, float Yaw, float yaw_zero) {
    for (const model::Marker& mk : model::markers()) {
        const Blob b = find_colour(frame, mk.colour);
        const ScreenPoint e = expected_marker(mk, Roll, Pitch, Yaw, yaw_zero);
        ASSERT_GT(b.count, 40) << mk.name << " marker not drawn";
        EXPECT_NEAR(b.x, e.x, 3.0) << mk.name << " marker, yaw " << Yaw - yaw_zero;
        EXPECT_NEAR(b.y, e.y, 3.0) << mk.name << " marker, yaw " << Yaw - yaw_zero;
    }
}

// ---- custom scenes -------------------------------------------------------------------------

// A quad facing the camera at depth z, corners clockwise as seen (or counter-clockwise).
void add_facing_quad(model::Mesh& m, float cx, float cy, float z, float hw, float hh,
                     const model::Colour& c, int material, bool clockwise = true) {
    model::Vertex tl{{cx - hw, cy + hh, z}, 0, 0, c}, tr{{cx + hw, cy + hh, z}, 1, 0, c},
        br{{cx + hw, cy - hh, z}, 1, 1, c}, bl{{cx - hw, cy - hh, z}, 0, 1, c};
    if (clockwise)
        m.add_quad({tl, tr, br, bl}, material);
    else
        m.add_quad({tl, bl, br, tr}, material);
}

model::Material plain(const char* name, const std::string& texture = "") {
    return {name, {1, 1, 1, 1}, 0, {0, 0, 0, 1}, {0, 0, 0, 1}, texture};
}

QPoint at_rest(float x, float y, float z) {
    const ScreenPoint p = project({x, y, z}, scene_matrices(0, 0, 0, 0), kW, kH);
    return QPoint(int(p.x), int(p.y));
}

QRgb pixel(const QImage& im, QPoint p) {
    return im.convertToFormat(QImage::Format_RGB32).pixel(p);
}

struct Scene {
    Folder folder;
    std::unique_ptr<Window> win;
    QImage frame;

    Scene(const model::Mesh& m, const std::map<std::string, model::Image>& textures = {}) {
        folder.put(model::kModelFile, model::write_x(m));
        for (const auto& [name, image] : textures) {
            std::filesystem::create_directories((folder.path() / name).parent_path());
            folder.put(name, model::write_bmp(image));
        }
        win = std::make_unique<Window>(folder.qpath());
        win->w->Show3D();
        if (win->boxes.empty()) frame = frame_of(*win->w);
    }
};

// ---- tests ---------------------------------------------------------------------------------

// The first "3D Show" loads the model and the board's texture (a second one loads nothing more)
// and draws the model at rest with the overlay's labels, black where nothing is drawn.
TEST(Big3DRender, BeforeTelemetryTheModelIsUnrotatedAndTheLinesShowTheirLabels) {
    REQUIRE_GL();
    Window win(bin_dir());
    Big3D& w = *win.w;
    w.Show3D();
    w.Show3D();
    EXPECT_TRUE(win.boxes.empty());
    EXPECT_EQ(w.load_count(), 1);
    EXPECT_TRUE(w.isVisible() && w.renderTimer->isActive() && w.has_mesh());
    ASSERT_EQ(w.num_materials_loaded(), int(model::kMaterialCount));
    for (int i = 0; i < model::kMaterialCount; ++i)
        EXPECT_EQ(w.has_texture(i), i == model::kBoard) << i;
    const QImage f = frame_of(w);
    expect_markers(f, 0, 0, 0, 0);
    expect_overlay(f, w.font(), expected_lines(win.values));
    EXPECT_EQ(pixel(f, QPoint(400, 560)), qRgb(0, 0, 0));
    EXPECT_EQ(pixel(f, QPoint(5, 5)), qRgb(0, 0, 0));
}

TEST(Big3DRender, RollPitchAndYawTurnTheModelAndTheLinesShowTheValues) {
    REQUIRE_GL();
    Window win(bin_dir());
    win.w->Show3D();
    win.w->resize(400, 300); // the surface and the projection keep their size

    // A board roll of +10: the decoder stores Roll = -10 and the text "10".
    win.values.Roll = -10;
    win.values.str_roll = "10";
    QImage f = frame_of(*win.w);
    EXPECT_EQ(f.size(), QSize(kW, kH));
    expect_markers(f, -10, 0, 0, 0);

    // A board pitch of +10.
    win.values.Roll = 0;
    win.values.str_roll = "0";
    win.values.Pitch = 10;
    win.values.str_pitch = "10";
    expect_markers(frame_of(*win.w), 0, 10, 0, 0);

    // A yaw of 123.9 arrives as Yaw = 123 (whole degrees) and the text "123.9".
    win.values.Pitch = 0;
    win.values.str_pitch = "0";
    win.values.Yaw = 123;
    win.values.str_yaw = "123.9";
    expect_markers(frame_of(*win.w), 0, 0, 123, 0);

    // All twelve lines with values.
    int k = 0;
    for (std::string* text : {&win.values.str_roll, &win.values.str_pitch, &win.values.str_gyro_x,
                              &win.values.str_gyro_y, &win.values.str_gyro_z, &win.values.str_acc_x,
                              &win.values.str_acc_y, &win.values.str_acc_z, &win.values.str_mag_x,
                              &win.values.str_mag_y, &win.values.str_mag_z}) {
        *text = std::to_string(k * 1237 % 20001 - 10000) + (k % 3 ? "" : ".25");
        ++k;
    }
    f = frame_of(*win.w);
    expect_overlay(f, win.w->font(), expected_lines(win.values));
}

// "Heading zero" turns the model to heading zero while the line shows the yaw; "Back" hides the
// window and keeps what was loaded; "3D Show" resumes with the newest values and the same offset.
TEST(Big3DLifecycle, HeadingZeroHoldsThroughBackAndShowWhileTheLineShowsTheYaw) {
    REQUIRE_GL();
    Window win(bin_dir());
    Big3D& w = *win.w;
    w.Show3D();
    win.values.Yaw = 123;
    win.values.str_yaw = "123.9";
    QTest::mouseClick(w.headingZeroButton, Qt::LeftButton);
    EXPECT_FLOAT_EQ(w.yaw_zero, 123.0f);
    QImage f = frame_of(w);
    expect_markers(f, 0, 0, 0, 0);
    expect_overlay(f, w.font(), expected_lines(win.values));

    QTest::mouseClick(w.backButton, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible() || w.renderTimer->isActive());
    EXPECT_TRUE(w.has_device() && w.has_mesh());
    win.values.Yaw = 133; // telemetry goes on while hidden
    win.values.Roll = -10;
    win.values.str_yaw = "133.4";
    w.Show3D();
    EXPECT_EQ(w.load_count(), 1);
    EXPECT_TRUE(w.isVisible() && w.renderTimer->isActive());
    f = frame_of(w);
    expect_markers(f, -10, 0, 133, 123);
    expect_overlay(f, w.font(), expected_lines(win.values));
    EXPECT_TRUE(win.boxes.empty());
    EXPECT_EQ(win.ends, 0);
}

TEST(Big3DLifecycle, TheTimerDrawsWhileShownAndTheScreenShowsTheFrame) {
    REQUIRE_GL();
    Window win(bin_dir());
    Big3D& w = *win.w;
    w.Show3D();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const int before = w.frames_drawn();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.frames_drawn() >= before + 3; }, 10000))
        << "the 50 ms timer did not draw";

    // What reaches the window on screen: the model and the overlay. The grab reads the screen,
    // where windows of other tests on the same display may lie over this one (without a window
    // manager all open at the same place; one resized smaller covers only the overlay): raise it
    // and grab again until both show.
    const auto right = expected_marker(model::markers()[0], 0, 0, 0, 0);
    bool marker = false, overlay = false;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            w.raise();
            const QImage s = QGuiApplication::primaryScreen()->grabWindow(w.winId()).toImage();
            marker = !s.isNull() && near_colour(s.pixel(int(right.x), int(right.y)), 255, 0, 0, 40);
            overlay = !s.isNull() && cyan_mask(s, QRect(0, 15, 200, 60)).count > 50;
            return marker && overlay;
        },
        10000))
        << "on screen: right marker " << marker << ", overlay " << overlay;
}

TEST(Big3DLifecycle, CloseBoxReleasesThe3DObjectsAndEndsTheProgram) {
    REQUIRE_GL();
    Window win(bin_dir());
    Big3D& w = *win.w;
    w.Show3D();
    bool released_before_end = false;
    w.end_program = [&] {
        ++win.ends;
        released_before_end = !w.has_device() && !w.has_mesh() && w.num_materials_loaded() == 0;
    };
    w.close();
    EXPECT_EQ(win.ends, 1);
    EXPECT_TRUE(released_before_end);
    EXPECT_FALSE(w.renderTimer->isActive());
    const int frames = w.frames_drawn();
    w.Render(); // no device: nothing drawn
    EXPECT_EQ(w.frames_drawn(), frames);
    w.Show3D(); // the program has ended: nothing more happens
    EXPECT_EQ(w.load_count(), 1);
    EXPECT_FALSE(w.renderTimer->isActive());
}

// ---- failure paths -------------------------------------------------------------------------

// A model or texture that cannot be loaded: one box naming the file and the reason, the same
// line in the log, then the window closes itself (3D objects released, hidden) and the program
// goes on. "3D Show" loads again: once the files are mended, the model is drawn. (How the model
// reader words a malformed file is test_xmesh's; texture files are read only here.)
TEST(Big3DFailure, BadFilesAreReportedAndTheWindowClosesItself) {
    REQUIRE_GL();
    const std::string whole = model::write_x(model::board_mesh());
    std::vector<unsigned char> huge = model::write_bmp({1, 1, {0, 0, 0}});
    huge[18] = huge[22] = 0x10; // the header claims 10000 x 10000 pixels
    huge[19] = huge[23] = 0x27;
    const std::string bmp_header(huge.begin(), huge.end());
    const struct {
        std::string model, texture;
        bool fifo_texture;
        QString file, reason;
    } cases[] = {
        {"", "", false, "liti8.x", "No such file or directory"},
        {whole, "", false, "board.bmp", "No such file or directory"},
        {whole, "BM this is not a picture", false, "board.bmp", ""},
        {whole, bmp_header, false, "board.bmp", "10000 x 10000 pixels, more than 4096 a side"},
        {whole, "", true, "board.bmp", "named pipe"},
    };
    for (const auto& c : cases) {
        Folder f;
        if (!c.model.empty()) f.put("liti8.x", c.model);
        if (!c.texture.empty()) f.put("board.bmp", c.texture);
        if (c.fifo_texture) {
            ASSERT_EQ(::mkfifo((f / "board.bmp").c_str(), 0600), 0);
        }
        Window win(f.qpath());
        win.w->Show3D();
        const QString path = f.qpath() + "/" + c.file;
        ASSERT_EQ(win.boxes.size(), 1u) << path.toStdString();
        const QString text = win.boxes[0].text;
        EXPECT_TRUE(text.contains(path) && text.contains(c.reason)) << text.toStdString();
        if (c.reason.isEmpty()) { // whatever the reader's words, a reason follows the name
            EXPECT_GT(text.size(), path.size() + 30) << text.toStdString();
        }
        ASSERT_EQ(win.log.size(), 1u);
        EXPECT_TRUE(win.log[0].contains(path) && !win.log[0].contains('\n'))
            << win.log[0].toStdString();
        EXPECT_EQ(win.ends, 0);
        EXPECT_FALSE(win.w->isVisible());
        EXPECT_FALSE(win.w->renderTimer->isActive());
        EXPECT_FALSE(win.w->has_device() || win.w->has_mesh());

        // Mended: the next "3D Show" loads and draws.
        std::filesystem::remove(f.path() / "board.bmp");
        f.put_board_model();
        win.w->Show3D();
        EXPECT_EQ(win.w->load_count(), 2);
        EXPECT_EQ(win.boxes.size(), 1u);
        EXPECT_TRUE(win.w->isVisible() && win.w->renderTimer->isActive() && win.w->has_mesh());
        EXPECT_GT(find_colour(frame_of(*win.w), model::markers()[0].colour).count, 40);
        EXPECT_EQ(win.ends, 0);
    }
}

TEST(Big3DFailure, ModelWithoutAMeshShowsUnableToCreateVertexBuffer) {
    REQUIRE_GL();
    Folder f;
    f.put("liti8.x", std::string("xof 0303txt 0032\nFrame Empty {\n FrameTransformMatrix { "
                                 "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, "
                                 "0.0,0.0,0.0,1.0;; }\n}\n"));
    Window win(f.qpath());
    win.w->Show3D();
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(win.boxes[0].text, "Unable to Create VertexBuffer");
    EXPECT_EQ(win.log, std::vector<QString>{"3D window closed: Unable to Create VertexBuffer"});
    EXPECT_EQ(win.ends, 0);
    EXPECT_FALSE(win.w->isVisible() || win.w->renderTimer->isActive());
}

// ---- device state --------------------------------------------------------------------------

TEST(Big3DScene, FacesThatRunCounterClockwiseOnScreenAreCulled) {
    REQUIRE_GL();
    model::Mesh m;
    m.materials = {plain("M")};
    add_facing_quad(m, -0.5f, 0, 0, 0.3f, 0.3f, {1, 0, 0, 1}, 0, true);
    add_facing_quad(m, 0.5f, 0, 0, 0.3f, 0.3f, {0, 1, 0, 1}, 0, false);
    Scene s(m);
    ASSERT_TRUE(s.win->boxes.empty());
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(-0.5f, 0, 0)), 255, 0, 0, 2));
    EXPECT_EQ(pixel(s.frame, at_rest(0.5f, 0, 0)), qRgb(0, 0, 0));
    EXPECT_EQ(find_colour(s.frame, 0, 255, 0, 10).count, 0);
    // Turned half a turn, the other one faces the camera.
    s.win->values.Yaw = 180;
    const QImage back = frame_of(*s.win->w);
    EXPECT_EQ(find_colour(back, 255, 0, 0, 10).count, 0);
    EXPECT_GT(find_colour(back, 0, 255, 0, 10).count, 1000);
}

TEST(Big3DScene, DepthTestLessOrEqualAndSubsetsInMaterialOrder) {
    REQUIRE_GL();
    model::Mesh m;
    m.materials = {plain("First"), plain("Second"), plain("Third")};
    // The same square twice, in materials 0 then 1: with less-or-equal the later one wins.
    add_facing_quad(m, -0.5f, 0.3f, 0, 0.2f, 0.2f, {1, 0, 0, 1}, 0);
    add_facing_quad(m, -0.5f, 0.3f, 0, 0.2f, 0.2f, {0, 1, 0, 1}, 1);
    // A near square drawn first (material 0) hides a far one drawn after it (material 2).
    add_facing_quad(m, 0.5f, -0.3f, 0, 0.2f, 0.2f, {0, 0, 1, 1}, 0);
    add_facing_quad(m, 0.5f, -0.3f, 0.5f, 0.4f, 0.4f, {1, 1, 0, 1}, 2);
    // Triangles are listed in the file out of material order.
    std::swap(m.triangles[0], m.triangles[2]);
    std::swap(m.triangles[1], m.triangles[3]);
    Scene s(m);
    ASSERT_TRUE(s.win->boxes.empty());
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(-0.5f, 0.3f, 0)), 0, 255, 0, 2));
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(0.5f, -0.3f, 0)), 0, 0, 255, 2));
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(0.5f, -0.3f + 0.3f, 0.5f)), 255, 255, 0, 2));
}

TEST(Big3DScene, DepthRunsFromTheNearPlaneToTheFarPlane) {
    REQUIRE_GL();
    model::Mesh m;
    m.materials = {plain("M")};
    add_facing_quad(m, -0.2f, 0, -2.9f, 0.05f, 0.05f, {1, 1, 0, 1}, 0); // just past the near plane
    add_facing_quad(m, 0.15f, 0, -3.2f, 0.05f, 0.05f, {1, 0, 0, 1}, 0); // before it: clipped
    add_facing_quad(m, -0.6f, 0.5f, 0.9f, 0.2f, 0.2f, {0, 1, 0, 1}, 0); // just before the far
    add_facing_quad(m, 0.6f, 0.5f, 1.2f, 0.2f, 0.2f, {0, 0, 1, 1}, 0);  // past it: clipped
    Scene s(m);
    ASSERT_TRUE(s.win->boxes.empty());
    EXPECT_GT(find_colour(s.frame, 255, 255, 0, 10).count, 100);
    EXPECT_EQ(find_colour(s.frame, 255, 0, 0, 10).count, 0);
    EXPECT_GT(find_colour(s.frame, 0, 255, 0, 10).count, 100);
    EXPECT_EQ(find_colour(s.frame, 0, 0, 255, 10).count, 0);
}

TEST(Big3DScene, TextureTimesVertexColourWithPointSampling) {
    REQUIRE_GL();
    model::Image tex;
    tex.width = tex.height = 2;
    tex.rgb.assign(12, 0);
    tex.fill(0, 0, 1, 1, 255, 0, 0);     // top-left
    tex.fill(1, 0, 1, 1, 0, 255, 0);     // top-right
    tex.fill(0, 1, 1, 1, 0, 0, 255);     // bottom-left
    tex.fill(1, 1, 1, 1, 255, 255, 255); // bottom-right
    model::Mesh m;
    m.materials = {plain("Textured", "t.bmp"), plain("Plain", "")};
    add_facing_quad(m, -0.55f, 0, 0, 0.4f, 0.4f, {1, 0.5f, 1, 1}, 0);
    add_facing_quad(m, 0.55f, 0, 0, 0.3f, 0.3f, {0.25f, 0.5f, 0.75f, 1}, 1);
    Scene s(m, {{"t.bmp", tex}});
    ASSERT_TRUE(s.win->boxes.empty()) << s.win->boxes[0].text.toStdString();

    // The image's top-left texel at the quad's top-left (v = 0 is the image's top row).
    const float cx = -0.55f;
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(cx - 0.2f, 0.2f, 0)), 255, 0, 0, 2));
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(cx + 0.2f, 0.2f, 0)), 0, 128, 0, 2));
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(cx - 0.2f, -0.2f, 0)), 0, 0, 255, 2));
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(cx + 0.2f, -0.2f, 0)), 255, 128, 255, 2));
    // Point sampling: across the middle every pixel is one texel's colour, never a blend.
    const QImage img = s.frame.convertToFormat(QImage::Format_RGB32);
    const QPoint a = at_rest(cx - 0.38f, 0.2f, 0), b = at_rest(cx + 0.38f, 0.2f, 0);
    for (int x = a.x(); x <= b.x(); ++x) {
        const QRgb p = img.pixel(x, a.y());
        EXPECT_TRUE(near_colour(p, 255, 0, 0, 2) || near_colour(p, 0, 128, 0, 2))
            << "x " << x << ": " << qRed(p) << "," << qGreen(p) << "," << qBlue(p);
    }
    // The material whose texture name is "" shows its vertices' colour, untextured.
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(0.55f, 0, 0)), 64, 128, 191, 2));
}

TEST(Big3DScene, WithoutVertexColoursTheTextureShowsAsItIs) {
    REQUIRE_GL();
    model::Image tex;
    tex.width = tex.height = 1;
    tex.rgb = {200, 100, 50};
    model::Mesh m;
    m.materials = {plain("Textured", "sub\\t.bmp")}; // a name with the other separator
    add_facing_quad(m, 0, 0, 0, 0.4f, 0.4f, {0.1f, 0.1f, 0.1f, 1}, 0);
    m.vertex_colours = false;
    Scene s(m, {{"sub/t.bmp", tex}});
    ASSERT_TRUE(s.win->boxes.empty()) << s.win->boxes[0].text.toStdString();
    EXPECT_TRUE(near_colour(pixel(s.frame, at_rest(0, 0, 0)), 200, 100, 50, 2));
}

TEST(Big3DScene, TheModelIsDrawnOverTheOverlay) {
    REQUIRE_GL();
    model::Mesh m;
    m.materials = {plain("M")};
    // Covers the first three lines (screen x 4..217, y 12..92).
    add_facing_quad(m, -0.95f, 1.075f, 0, 0.34f, 0.175f, {0, 1, 0, 1}, 0);
    Scene s(m);
    ASSERT_TRUE(s.win->boxes.empty());
    EXPECT_EQ(cyan_mask(s.frame, QRect(0, 20, 200, 60)).count, 0);
    EXPECT_TRUE(near_colour(pixel(s.frame, QPoint(30, 30)), 0, 255, 0, 2));
    EXPECT_GT(cyan_mask(s.frame, QRect(0, 300, 200, 20)).count, 20); // "GyroX = " still shows
}

} // namespace
