// The scene arithmetic against the published definitions, worked out independently here.
#include "view3d/scene_math.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace zento;

namespace {

using Rows = std::array<std::array<double, 4>, 4>;

void expect_matrix(const Mat4& m, const Rows& want, double tol) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(m.m[i][j], want[i][j], tol) << "row " << i << " column " << j;
}

void expect_point(const Vec4& p, Vec3 want, double tol = 1e-6) {
    EXPECT_NEAR(p.x, want.x, tol);
    EXPECT_NEAR(p.y, want.y, tol);
    EXPECT_NEAR(p.z, want.z, tol);
}

constexpr double kDeg = 3.14159265358979323846 / 180.0;
const Rows kView = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 4, 1}}};

} // namespace

TEST(SceneMath, RotationsTurnTheLeftHandedWay) {
    // +90 about Z takes +X to +Y, about X +Y to +Z, about Y +Z to +X; 30 about Z takes +X to
    // (cos 30, sin 30) and +Y to (-sin 30, cos 30).
    const float q = float(90 * kDeg), t = float(30 * kDeg);
    expect_point(transform({1, 0, 0}, RotationZ(q)), {0, 1, 0});
    expect_point(transform({0, 1, 0}, RotationX(q)), {0, 0, 1});
    expect_point(transform({0, 0, 1}, RotationY(q)), {1, 0, 0});
    expect_point(transform({1, 0, 0}, RotationZ(t)), {0.8660254f, 0.5f, 0});
    expect_point(transform({0, 1, 0}, RotationZ(t)), {-0.5f, 0.8660254f, 0});
    expect_point(transform({0, 1, 0}, RotationX(t)), {0, 0.8660254f, 0.5f});
    expect_point(transform({0, 0, 1}, RotationY(t)), {0.5f, 0, 0.8660254f});
}

TEST(SceneMath, YawPitchRollIsRollThenPitchThenYaw) {
    // Worked by hand: roll 90 takes +X to +Y, pitch 90 takes that to +Z, yaw 90 takes it to +X;
    // +Y goes to -X, stays, and goes to +Z. (Yaw first would take +X to -X.)
    const float q = float(90 * kDeg);
    const Vec4 p = transform({1, 0, 0}, RotationYawPitchRoll(q, q, q));
    expect_point(p, {1, 0, 0});
    EXPECT_FLOAT_EQ(p.w, 1);
    expect_point(transform({0, 1, 0}, RotationYawPitchRoll(q, q, q)), {0, 0, 1});
}

TEST(SceneMath, LookAtFromTheWindowsCameraIsAShiftAlongZ) {
    expect_matrix(LookAtLH(vec3(0, 0, -4), vec3(0, 0, 0), vec3(0, 1, 0)), kView, 0);
}

TEST(SceneMath, ProjectionOfTheWindowsLens) {
    const Mat4 p = PerspectiveFovLH(kFov, kAspect, kNear, kFar);
    const double h = 1 / std::tan(3.1415 / 10);
    expect_matrix(p, {{{h, 0, 0, 0}, {0, h, 0, 0}, {0, 0, 1.25, 1}, {0, 0, -1.25, 0}}}, 1e-5);
    // Aspect divides the horizontal scale only.
    const Mat4 wide = PerspectiveFovLH(kFov, 2.0f, kNear, kFar);
    EXPECT_FLOAT_EQ(wide.m[0][0], p.m[0][0] / 2);
    EXPECT_FLOAT_EQ(wide.m[1][1], p.m[1][1]);
}

TEST(SceneMath, AnglesAreTurnedWithTheConstant3_1415) {
    EXPECT_FLOAT_EQ(to_radians_3_1415(180), 3.1415f);
    EXPECT_FLOAT_EQ(to_radians_3_1415(1), float(1 / 57.29746936));
    EXPECT_NE(to_radians_3_1415(90), float(90 * kDeg)); // not pi
}

TEST(SceneMath, FrameTransformsFromTheAttitude) {
    // The yaw counts from the heading offset (the signs of all three: the test below).
    const SceneMatrices a = scene_matrices(0, 0, 123, 33);
    EXPECT_EQ(a.world, scene_matrices(0, 0, 90, 0).world);
    EXPECT_EQ(scene_matrices(0, 0, 123, 123).world, Identity());
    expect_matrix(a.view, kView, 0);
    EXPECT_NEAR(a.projection.m[1][1], 3.0778, 1e-4);
    EXPECT_FLOAT_EQ(a.projection.m[0][0], a.projection.m[1][1]); // aspect 1 on any surface
}

TEST(SceneMath, RollPitchAndYawTurnTheModelTheWayTheWindowShowsThem) {
    // The decoder stores the board's roll with its sign turned and its pitch as it is, so a
    // board roll of +10 arrives as Roll = -10 and a board pitch of +10 as Pitch = +10.
    const float W = 821, H = 601;
    const Vec3 right{1, 0, 0}, far{0, 0, 1};
    const SceneMatrices rest = scene_matrices(0, 0, 0, 0);
    const double s10 = std::sin(10 * 3.1415 / 180), c10 = std::cos(10 * 3.1415 / 180);
    // Board roll +10 turns the model by -10 degrees about Z: its right end goes down on screen.
    const SceneMatrices rolled = scene_matrices(-10, 0, 0, 0);
    EXPECT_GT(project(right, rolled, W, H).y, project(right, rest, W, H).y + 20);
    expect_point(transform(right, rolled.world), {float(c10), float(-s10), 0});
    // Board pitch +10 turns it by -10 degrees about X: its far end goes up.
    const SceneMatrices pitched = scene_matrices(0, 10, 0, 0);
    EXPECT_LT(project(far, pitched, W, H).y, project(far, rest, W, H).y - 20);
    EXPECT_NEAR(transform(far, pitched.world).y, s10, 1e-6);
    // Yaw +90 takes the far end to the right (a heading turned clockwise seen from above).
    expect_point(transform(far, scene_matrices(0, 0, 90, 0).world), {1, 0, 0}, 1e-3);
}

TEST(SceneMath, ScreenPositionsOfKnownPoints) {
    const SceneMatrices s = scene_matrices(0, 0, 0, 0);
    const auto at = [&](float x, float y, float z) { return project({x, y, z}, s, 821, 601); };
    const ScreenPoint o = at(0, 0, 0);
    EXPECT_FLOAT_EQ(o.x, 410.5f);
    EXPECT_FLOAT_EQ(o.y, 300.5f);
    EXPECT_FLOAT_EQ(o.depth, 0.9375f); // 1.25 * (4 - 1) / 4
    EXPECT_TRUE(o.inside);
    // x right and y up in the scene are right and up on the screen, stretched sideways by the
    // surface's shape: h = 3.0778 at distance 4.
    const double k = 1 / std::tan(3.1415 / 10) / 4 * 0.5;
    EXPECT_NEAR(at(0.5f, 0.5f, 0).x, 410.5 + k * 410.5, 1e-3);
    EXPECT_NEAR(at(0.5f, 0.5f, 0).y, 300.5 - k * 300.5, 1e-3);
    // The edges of the view at the origin's depth lie 1.2997 units off the axis.
    const float edge = float(4 * std::tan(3.1415 / 10));
    EXPECT_NEAR(at(edge, 0, 0).x, 821, 1e-2);
    EXPECT_NEAR(at(0, edge, 0).y, 0, 1e-2);
    // Near plane at z = -3, far plane at z = +1.
    EXPECT_NEAR(at(0, 0, -3).depth, 0, 1e-6);
    EXPECT_NEAR(at(0, 0, 1).depth, 1, 1e-6);
    EXPECT_TRUE(at(1.29f, -1.29f, 0).inside);
    for (Vec3 out : {Vec3{1.31f, 0, 0}, Vec3{0, 0, -3.1f}, Vec3{0, 0, 1.1f}, Vec3{0, 0, -5}})
        EXPECT_FALSE(at(out.x, out.y, out.z).inside) << out.x << "," << out.y << "," << out.z;
}
