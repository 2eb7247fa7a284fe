// The board model as the generator builds it: seen whole, wound so that culling hides the faces
// turned away, its markers where the screen arithmetic puts them; and the file writers.
#include "make-model/board_mesh.h"
#include "test_folder.h"
#include "view3d/scene_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

using namespace zento;
using namespace zento::model;

namespace {

// Signed area of a screen triangle with y down: positive when its corners run clockwise.
double screen_area(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c) {
    return double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x);
}

} // namespace

TEST(BoardModel, IsSeenWholeAtRestAndAtEveryHeading) {
    const Mesh m = board_mesh();
    ASSERT_FALSE(m.vertices.empty());
    for (float roll : {-10.0f, 0.0f, 10.0f})
        for (float pitch : {-10.0f, 0.0f, 10.0f})
            for (int yaw = 0; yaw < 360; yaw += 3) {
                const SceneMatrices s = scene_matrices(roll, pitch, float(yaw), 0);
                const Mat4 wvp = multiply(multiply(s.world, s.view), s.projection);
                for (const Vertex& v : m.vertices) {
                    const ScreenPoint p = to_screen(transform(v.p, wvp), 821, 601);
                    ASSERT_TRUE(p.inside) << "vertex " << v.p.x << "," << v.p.y << "," << v.p.z
                                          << " leaves the view at roll " << roll << " pitch "
                                          << pitch << " yaw " << yaw;
                }
            }
}

TEST(BoardModel, FacesTurnedToTheCameraAreClockwiseOnScreen) {
    // Culling counter-clockwise faces must hide exactly the faces turned away from the camera.
    const Mesh m = board_mesh();
    for (float yaw : {0.0f, 70.0f, 123.0f, 200.0f}) {
        const SceneMatrices s = scene_matrices(0, 0, yaw, 0);
        int front = 0, back = 0;
        for (const Triangle& t : m.triangles) {
            const Vec3 a = m.vertices[t.corner[0]].p, b = m.vertices[t.corner[1]].p,
                       c = m.vertices[t.corner[2]].p;
            // Outward normal of a clockwise-from-outside triangle in a left-handed frame.
            const Vec3 n =
                cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z});
            const Vec4 nw = transform(n, s.world), aw = transform(a, s.world);
            const double facing = nw.x * (0 - aw.x) + nw.y * (0 - aw.y) + nw.z * (-4 - aw.z);
            const double area = screen_area(project(a, s, 821, 601), project(b, s, 821, 601),
                                            project(c, s, 821, 601));
            if (std::abs(area) < 1e-3 || std::abs(facing) < 1e-6) continue; // edge-on
            EXPECT_EQ(facing > 0, area > 0) << "triangle at yaw " << yaw;
            (facing > 0 ? front : back)++;
        }
        EXPECT_GT(front, 100);
        EXPECT_GT(back, 100);
    }
}

TEST(BoardModel, TheStoredPoseShowsTheMarkersWhereTheyBelong) {
    // The far edge raised, the right marker on the right, the left on the left.
    const SceneMatrices rest = scene_matrices(0, 0, 0, 0);
    const Vec3 far = to_file_frame({0, 0, kHalfDepth});
    EXPECT_NEAR(far.y, kHalfDepth * std::sin(kTiltDegrees * 3.14159265 / 180), 1e-6);
    EXPECT_NEAR(far.z, kHalfDepth * std::cos(kTiltDegrees * 3.14159265 / 180), 1e-6);
    const ScreenPoint right = project(to_file_frame(markers()[0].top_centre), rest, 821, 601);
    const ScreenPoint left = project(to_file_frame(markers()[1].top_centre), rest, 821, 601);
    const ScreenPoint top = project(to_file_frame(markers()[2].top_centre), rest, 821, 601);
    EXPECT_GT(right.x, 600);
    EXPECT_LT(left.x, 221);
    EXPECT_LT(top.y, right.y - 30);
    EXPECT_NEAR(right.y, left.y, 1e-3);
}

TEST(BoardModel, MaterialsAndParts) {
    const Mesh m = board_mesh();
    ASSERT_EQ(m.materials.size(), std::size_t(kMaterialCount));
    EXPECT_EQ(m.materials[kBoard].texture, kBoardTexture);
    int untextured = 0;
    for (const Material& mat : m.materials)
        untextured += mat.texture.empty();
    EXPECT_EQ(untextured, kMaterialCount - 1);
    // Every material drawn (indices in range: the reader refuses others, see test_xmesh).
    std::set<int> used;
    for (const Triangle& t : m.triangles)
        used.insert(t.material);
    EXPECT_EQ(used.size(), std::size_t(kMaterialCount));
    // Marker colours are their own: no other vertex has them.
    for (const Triangle& t : m.triangles) {
        if (t.material == kMarks) continue;
        for (int k : t.corner) {
            const Colour& c = m.vertices[k].c;
            for (const Marker& mk : markers())
                EXPECT_FALSE(c.r == mk.colour.r && c.g == mk.colour.g && c.b == mk.colour.b);
        }
    }
}

TEST(BoardModelFiles, WriteFileReplacesWholeOrReportsAndLeavesNothing) {
    zento_test::TempDir dir;
    const std::string path = dir / "liti8.x";
    std::string reason;
    ASSERT_TRUE(write_file(path, "first", reason)) << reason;
    ASSERT_TRUE(write_file(path, "second", reason)) << reason;
    EXPECT_EQ(zento_test::read_text(path), "second");
    EXPECT_FALSE(std::ifstream(path + ".part").good());

    const std::string bad = dir / "missing/liti8.x";
    EXPECT_FALSE(write_file(bad, "x", reason));
    EXPECT_NE(reason.find("missing/liti8.x.part"), std::string::npos) << reason;
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
}
