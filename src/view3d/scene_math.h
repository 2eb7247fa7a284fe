#pragma once
// Scene arithmetic of the 3D window, in the conventions of the board's model file: left-handed
// (+X right, +Y up, +Z into the screen), points are row vectors multiplied from the left
// (p' = p * M), so a chain of transforms reads left to right: p * World * View * Projection.
// The matrices are stored row-major, m[row][column]; the fourth row carries the translation.
//
// A shader that multiplies column vectors uses the transposed matrices in the reverse order;
// uploading m as a column-major array with no transpose is exactly that transpose.
#include <array>

namespace zento {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// Packs three Singles into a 3-vector, in the order x, y, z.
Vec3 vec3(float x, float y, float z);

struct Mat4 {
    std::array<std::array<float, 4>, 4> m{};
    const float* data() const { return &m[0][0]; } // 16 floats, row after row
    bool operator==(const Mat4&) const = default;
};

Mat4 Identity();
Mat4 RotationX(float a); // rows (1,0,0), (0,cos,sin), (0,-sin,cos)
Mat4 RotationY(float a); // rows (cos,0,-sin), (0,1,0), (sin,0,cos)
Mat4 RotationZ(float a); // rows (cos,sin,0), (-sin,cos,0), (0,0,1)
// Rz(roll) * Rx(pitch) * Ry(yaw): roll applied first, then pitch, then yaw.
Mat4 RotationYawPitchRoll(float yaw, float pitch, float roll);
// Camera at eye looking at at: z = norm(at - eye), x = norm(up x z), y = z x x; the rows are
// (x.x, y.x, z.x, 0), (x.y, y.y, z.y, 0), (x.z, y.z, z.z, 0), (-x.eye, -y.eye, -z.eye, 1).
Mat4 LookAtLH(Vec3 eye, Vec3 at, Vec3 up);
// h = 1 / tan(fov / 2), w = h / aspect; rows (w,0,0,0), (0,h,0,0), (0,0,zf/(zf-zn),1),
// (0,0,-zn*zf/(zf-zn),0): after the divide by w, depth runs 0 at the near plane to 1 at the far.
Mat4 PerspectiveFovLH(float fov, float aspect, float zn, float zf);
Mat4 multiply(const Mat4& a, const Mat4& b); // a * b

Vec3 cross(Vec3 a, Vec3 b);
float dot(Vec3 a, Vec3 b);
Vec3 normalize(Vec3 v);

// p (with w = 1) * m: a point taken to the next space, or to clip space by World*View*Projection.
Vec4 transform(Vec3 p, const Mat4& m);

// A clip-space point on a width x height surface: x from -1..1 maps left to right onto 0..width,
// y from +1..-1 top to bottom onto 0..height (pixel (i, j) covers [i, i+1) x [j, j+1)), depth is
// z / w: 0 at the near plane, 1 at the far plane. inside is false when the point lies outside
// the view volume (clipped).
struct ScreenPoint {
    float x = 0, y = 0, depth = 0;
    bool inside = false;
};
ScreenPoint to_screen(Vec4 clip, float width, float height);

// The window's fixed scene: the angle constant, camera and lens.
inline constexpr double kPi3_1415 = 3.1415; // the constant the angles are turned with, not pi
inline constexpr float kFov = float(kPi3_1415 / 5);
inline constexpr float kAspect = 1.0f; // whatever the shape of the drawing surface
inline constexpr float kNear = 1.0f;
inline constexpr float kFar = 5.0f;

// Degrees to radians as the window does it: angle / (180 / 3.1415), held as a Single.
float to_radians_3_1415(float degrees);

struct SceneMatrices {
    Mat4 world, view, projection;
};

// The transforms of one frame: yaw = (Yaw - yaw_zero), pitch = -Pitch, roll = Roll, each turned
// to radians with to_radians_3_1415; world = RotationYawPitchRoll(yaw, pitch, roll); view from
// (0,0,-4) at the origin with +Y up; projection fov 3.1415/5, aspect 1, near 1, far 5.
SceneMatrices scene_matrices(float Roll, float Pitch, float Yaw, float yaw_zero);

// Where a model point lands on a width x height surface under the given transforms.
ScreenPoint project(Vec3 p, const SceneMatrices& s, float width, float height);

} // namespace zento
