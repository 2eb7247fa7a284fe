// The scene arithmetic against the published definitions, worked out independently here.
#include "view3d/scene_math.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zento;

namespace {

using Rows = double[4][4];

void expect_matrix(const Mat4& m, const Rows& want, double tol) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(m.m[i][j], want[i][j], tol) << "row " << i << " column " << j;
}

void expect_near(const Mat4& a, const Mat4& b, double tol) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "row " << i << " column " << j;
}

// Row-vector product of literal matrices, in double.
void product(const Rows& a, const Rows& b, Rows& out) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            out[i][j] = 0;
            for (int k = 0; k < 4; ++k)
                out[i][j] += a[i][k] * b[k][j];
        }
}

void rx(double a, Rows& r) {
    const Rows m = {{1, 0, 0, 0},
                    {0, std::cos(a), std::sin(a), 0},
                    {0, -std::sin(a), std::cos(a), 0},
                    {0, 0, 0, 1}};
    std::copy(&m[0][0], &m[0][0] + 16, &r[0][0]);
}
void ry(double a, Rows& r) {
    const Rows m = {{std::cos(a), 0, -std::sin(a), 0},
                    {0, 1, 0, 0},
                    {std::sin(a), 0, std::cos(a), 0},
                    {0, 0, 0, 1}};
    std::copy(&m[0][0], &m[0][0] + 16, &r[0][0]);
}
void rz(double a, Rows& r) {
    const Rows m = {{std::cos(a), std::sin(a), 0, 0},
                    {-std::sin(a), std::cos(a), 0, 0},
                    {0, 0, 1, 0},
                    {0, 0, 0, 1}};
    std::copy(&m[0][0], &m[0][0] + 16, &r[0][0]);
}

constexpr double kDeg = 3.14159265358979323846 / 180.0;

} // namespace

TEST(SceneMath, RotationsFollowThePublishedRows) {
    Rows want;
    rx(0.7, want);
    expect_matrix(RotationX(0.7f), want, 1e-6);
    ry(0.7, want);
    expect_matrix(RotationY(0.7f), want, 1e-6);
    rz(0.7, want);
    expect_matrix(RotationZ(0.7f), want, 1e-6);

    // Left-handed sense: +90 about Z takes +X to +Y, about X takes +Y to +Z, about Y takes +Z to
    // +X.
    const float q = float(90 * kDeg);
    const Vec4 a = transform({1, 0, 0}, RotationZ(q));
    EXPECT_NEAR(a.x, 0, 1e-6);
    EXPECT_NEAR(a.y, 1, 1e-6);
    const Vec4 b = transform({0, 1, 0}, RotationX(q));
    EXPECT_NEAR(b.y, 0, 1e-6);
    EXPECT_NEAR(b.z, 1, 1e-6);
    const Vec4 c = transform({0, 0, 1}, RotationY(q));
    EXPECT_NEAR(c.x, 1, 1e-6);
    EXPECT_NEAR(c.z, 0, 1e-6);
}

TEST(SceneMath, YawPitchRollIsRollThenPitchThenYaw) {
    const double yaw = 0.9, pitch = -0.4, roll = 0.25;
    Rows z, x, y, zx, want;
    rz(roll, z);
    rx(pitch, x);
    ry(yaw, y);
    product(z, x, zx);
    product(zx, y, want);
    const Mat4 m = RotationYawPitchRoll(float(yaw), float(pitch), float(roll));
    expect_matrix(m, want, 1e-6);

    // Another order gives another matrix for these angles, so the check above has teeth.
    Rows yx, other;
    product(y, x, yx);
    product(yx, z, other);
    double diff = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            diff += std::abs(other[i][j] - want[i][j]);
    EXPECT_GT(diff, 0.1);

    // Worked by hand: roll 90 takes +X to +Y, pitch 90 takes that to +Z, yaw 90 takes it to +X.
    const float q = float(90 * kDeg);
    const Vec4 p = transform({1, 0, 0}, RotationYawPitchRoll(q, q, q));
    EXPECT_NEAR(p.x, 1, 1e-6);
    EXPECT_NEAR(p.y, 0, 1e-6);
    EXPECT_NEAR(p.z, 0, 1e-6);
    EXPECT_FLOAT_EQ(p.w, 1);
}

TEST(SceneMath, LookAtFromTheWindowsCameraIsAShiftAlongZ) {
    const Mat4 v = LookAtLH(vec3(0, 0, -4), vec3(0, 0, 0), vec3(0, 1, 0));
    const Rows want = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 4, 1}};
    expect_matrix(v, want, 0);

    // Any camera: the eye goes to the origin, the target onto +Z at its distance, up stays up.
    const Vec3 eye{1, 2, -3}, at{0.5f, -1, 2};
    const Mat4 m = LookAtLH(eye, at, vec3(0, 1, 0));
    const Vec4 e = transform(eye, m);
    EXPECT_NEAR(e.x, 0, 1e-5);
    EXPECT_NEAR(e.y, 0, 1e-5);
    EXPECT_NEAR(e.z, 0, 1e-5);
    const Vec4 t = transform(at, m);
    const double dist = std::sqrt(0.25 + 9 + 25);
    EXPECT_NEAR(t.x, 0, 1e-5);
    EXPECT_NEAR(t.y, 0, 1e-5);
    EXPECT_NEAR(t.z, dist, 1e-5);
    const Vec4 above = transform({eye.x, eye.y + 1, eye.z}, m);
    EXPECT_GT(above.y, 0);
    EXPECT_NEAR(above.x, 0, 1e-5); // straight up from the eye stays straight up in the view
}

TEST(SceneMath, ProjectionOfTheWindowsLens) {
    const Mat4 p = PerspectiveFovLH(kFov, kAspect, kNear, kFar);
    EXPECT_NEAR(p.m[0][0], 3.0778, 1e-4);
    EXPECT_NEAR(p.m[1][1], 3.0778, 1e-4);
    EXPECT_FLOAT_EQ(p.m[2][2], 1.25f);
    EXPECT_FLOAT_EQ(p.m[2][3], 1.0f);
    EXPECT_FLOAT_EQ(p.m[3][2], -1.25f);
    EXPECT_FLOAT_EQ(p.m[3][3], 0.0f);
    EXPECT_FLOAT_EQ(p.m[0][1] + p.m[0][2] + p.m[0][3] + p.m[1][0] + p.m[1][2] + p.m[1][3] +
                        p.m[2][0] + p.m[2][1] + p.m[3][0] + p.m[3][1],
                    0.0f);
    EXPECT_NEAR(kFov, 0.6283, 1e-4);

    // Depth after the divide: 0 on the near plane, 1 on the far plane.
    const Vec4 n = transform({0, 0, 1}, p), f = transform({0, 0, 5}, p);
    EXPECT_FLOAT_EQ(n.z / n.w, 0.0f);
    EXPECT_FLOAT_EQ(f.z / f.w, 1.0f);
    // Aspect divides the horizontal scale only.
    const Mat4 wide = PerspectiveFovLH(kFov, 2.0f, kNear, kFar);
    EXPECT_FLOAT_EQ(wide.m[0][0], p.m[0][0] / 2);
    EXPECT_FLOAT_EQ(wide.m[1][1], p.m[1][1]);
}

TEST(SceneMath, AnglesAreTurnedWithTheConstant3_1415) {
    EXPECT_FLOAT_EQ(to_radians_3_1415(180), 3.1415f);
    EXPECT_FLOAT_EQ(to_radians_3_1415(1), float(1 / 57.29746936));
    EXPECT_NE(to_radians_3_1415(90), float(90 * kDeg)); // not pi
    EXPECT_FLOAT_EQ(to_radians_3_1415(-45), -to_radians_3_1415(45));
}

TEST(SceneMath, FrameTransformsFromTheAttitude) {
    // Yaw relative to the heading offset, pitch negated, roll as it is.
    const SceneMatrices a = scene_matrices(10, 20, 123, 100);
    const Mat4 want =
        RotationYawPitchRoll(to_radians_3_1415(23), to_radians_3_1415(-20), to_radians_3_1415(10));
    expect_near(a.world, want, 1e-7);
    EXPECT_EQ(scene_matrices(0, 0, 123, 123).world, Identity());
    EXPECT_EQ(scene_matrices(0, 0, 0, 0).world, Identity());
    const Rows view = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 4, 1}};
    expect_matrix(a.view, view, 0);
    EXPECT_NEAR(a.projection.m[1][1], 3.0778, 1e-4);
    EXPECT_FLOAT_EQ(a.projection.m[0][0], a.projection.m[1][1]); // aspect 1 on any surface
}

TEST(SceneMath, RollPitchAndYawTurnTheModelTheWayTheWindowShowsThem) {
    // The decoder stores the board's roll with its sign turned and its pitch as it is, so a
    // board roll of +10 arrives as Roll = -10 and a board pitch of +10 as Pitch = +10.
    const float W = 821, H = 601;
    const Vec3 right{1, 0, 0}, far{0, 0, 1};
    const SceneMatrices rest = scene_matrices(0, 0, 0, 0);
    // Board roll +10 turns the model by -10 degrees about Z: its right end goes down on screen.
    const SceneMatrices rolled = scene_matrices(-10, 0, 0, 0);
    EXPECT_GT(project(right, rolled, W, H).y, project(right, rest, W, H).y + 20);
    const Vec4 r = transform(right, rolled.world);
    EXPECT_NEAR(r.y, -std::sin(10 * 3.1415 / 180), 1e-6);
    EXPECT_NEAR(r.x, std::cos(10 * 3.1415 / 180), 1e-6);
    // Board pitch +10 turns it by -10 degrees about X: its far end goes up.
    const SceneMatrices pitched = scene_matrices(0, 10, 0, 0);
    EXPECT_LT(project(far, pitched, W, H).y, project(far, rest, W, H).y - 20);
    const Vec4 f = transform(far, pitched.world);
    EXPECT_NEAR(f.y, std::sin(10 * 3.1415 / 180), 1e-6);
    // Yaw +90 takes the far end to the right (a heading turned clockwise seen from above).
    const Vec4 y = transform(far, scene_matrices(0, 0, 90, 0).world);
    EXPECT_NEAR(y.x, 1, 1e-6);
    EXPECT_NEAR(y.z, 0, 1e-3);
}

TEST(SceneMath, ScreenPositionsOfKnownPoints) {
    const SceneMatrices s = scene_matrices(0, 0, 0, 0);
    const ScreenPoint o = project({0, 0, 0}, s, 821, 601);
    EXPECT_FLOAT_EQ(o.x, 410.5f);
    EXPECT_FLOAT_EQ(o.y, 300.5f);
    EXPECT_FLOAT_EQ(o.depth, 0.9375f); // 1.25 * (4 - 1) / 4
    EXPECT_TRUE(o.inside);

    // x right and y up in the scene are right and up on the screen, stretched sideways by the
    // surface's shape: h = 3.0778 at distance 4.
    const ScreenPoint p = project({0.5f, 0.5f, 0}, s, 821, 601);
    const double k = 1 / std::tan(3.1415 / 10) / 4 * 0.5;
    EXPECT_NEAR(p.x, 410.5 + k * 410.5, 1e-3);
    EXPECT_NEAR(p.y, 300.5 - k * 300.5, 1e-3);

    // The edges of the view at the origin's depth lie 1.2997 units off the axis.
    const double edge = 4 * std::tan(3.1415 / 10);
    EXPECT_NEAR(project({float(edge), 0, 0}, s, 821, 601).x, 821, 1e-2);
    EXPECT_NEAR(project({0, float(edge), 0}, s, 821, 601).y, 0, 1e-2);
    EXPECT_TRUE(project({1.29f, -1.29f, 0}, s, 821, 601).inside);
    EXPECT_FALSE(project({1.31f, 0, 0}, s, 821, 601).inside);
    // Near plane at z = -3, far plane at z = +1.
    EXPECT_NEAR(project({0, 0, -3}, s, 821, 601).depth, 0, 1e-6);
    EXPECT_NEAR(project({0, 0, 1}, s, 821, 601).depth, 1, 1e-6);
    EXPECT_FALSE(project({0, 0, -3.1f}, s, 821, 601).inside);
    EXPECT_FALSE(project({0, 0, 1.1f}, s, 821, 601).inside);
    EXPECT_FALSE(project({0, 0, -5}, s, 821, 601).inside); // behind the eye
}
