#pragma once
// Helpers of the 3D window tests: a window with its hooks recorded, model folders with chosen
// contents, and pixel measurements of rendered frames.
#include "make-model/board_mesh.h"
#include "telemetry/latest_values.h"
#include "test_folder.h"
#include "test_paths.h"
#include "view3d/big3d.h"
#include "view3d/help_dialog.h"
#include "view3d/scene_math.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace view3d_test {

using zento::model::Colour;

inline QString bin_dir() {
    return QString::fromStdString(zento_test::bin_dir());
}

// A Big3D whose message boxes, log lines and program end are recorded instead of shown and done.
struct Window {
    struct Box {
        QString text;
        bool dialog_on_screen;
    };
    zento::LatestValues values;
    std::unique_ptr<zento::Big3D> w;
    std::vector<Box> boxes;
    std::vector<QString> log;
    int ends = 0;

    explicit Window(const QString& folder) {
        w = std::make_unique<zento::Big3D>(values, folder);
        w->end_program = [this] { ++ends; };
        w->message_box = [this](const QString&, const QString& text) {
            boxes.push_back({text, w->dialog() && w->dialog()->isVisible()});
        };
        w->show_msg = [this](const QString& line) { log.push_back(line); };
    }
};

// A fresh folder for the window's files; qpath() is its path as the window takes it.
struct Folder : zento_test::TempDir {
    QString qpath() const { return QString::fromStdString(path().string()); }
    // The board model and its texture, as the build writes them.
    void put_board_model() const {
        put(zento::model::kModelFile, zento::model::write_x(zento::model::board_mesh()));
        put(zento::model::kBoardTexture, zento::model::write_bmp(zento::model::board_texture()));
    }
};

// Pixels of a colour: count and centroid (pixel centres at i + 0.5).
struct Blob {
    int count = 0;
    double x = 0, y = 0;
};

inline bool near_colour(QRgb p, int r, int g, int b, int tol) {
    return std::abs(qRed(p) - r) <= tol && std::abs(qGreen(p) - g) <= tol &&
           std::abs(qBlue(p) - b) <= tol;
}

inline Blob find_colour(const QImage& im, int r, int g, int b, int tol = 40) {
    Blob blob;
    const QImage img = im.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (near_colour(line[x], r, g, b, tol)) {
                ++blob.count;
                blob.x += x + 0.5;
                blob.y += y + 0.5;
            }
    }
    if (blob.count) {
        blob.x /= blob.count;
        blob.y /= blob.count;
    }
    return blob;
}

inline Blob find_colour(const QImage& im, const Colour& c, int tol = 40) {
    return find_colour(im, int(c.r * 255 + 0.5f), int(c.g * 255 + 0.5f), int(c.b * 255 + 0.5f),
                       tol);
}

// Where a marker pad shows for the given attitude: the centre of whichever of its two pads
// faces the camera.
inline zento::ScreenPoint expected_marker(const zento::model::Marker& m, float roll, float pitch,
                                          float yaw, float yaw_zero) {
    using namespace zento;
    const SceneMatrices s = scene_matrices(roll, pitch, yaw, yaw_zero);
    const Vec3 up = model::to_file_frame({0, 1, 0});
    const Vec4 n = transform(up, s.world); // w = 1 carries no translation: world has none
    const Vec3 top = model::to_file_frame(m.top_centre);
    const Vec4 tw = transform(top, s.world);
    // Eye at (0, 0, -4) in world space.
    const float facing = n.x * (0 - tw.x) + n.y * (0 - tw.y) + n.z * (-4 - tw.z);
    const Vec3 c = facing > 0 ? top : model::to_file_frame(m.bottom_centre);
    return project(c, s, 821, 601);
}

inline QImage frame_of(zento::Big3D& w) {
    return w.surface() ? w.surface()->grabFramebuffer() : QImage();
}

} // namespace view3d_test
