#include "view3d/scene_math.h"

#include <cmath>

namespace zento {

Vec3 vec3(float x, float y, float z) {
    return Vec3{x, y, z};
}

Mat4 Identity() {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        r.m[i][i] = 1.0f;
    return r;
}

Mat4 RotationX(float a) {
    const float c = std::cos(a), s = std::sin(a);
    Mat4 r = Identity();
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Mat4 RotationY(float a) {
    const float c = std::cos(a), s = std::sin(a);
    Mat4 r = Identity();
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Mat4 RotationZ(float a) {
    const float c = std::cos(a), s = std::sin(a);
    Mat4 r = Identity();
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Mat4 RotationYawPitchRoll(float yaw, float pitch, float roll) {
    return multiply(multiply(RotationZ(roll), RotationX(pitch)), RotationY(yaw));
}

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 normalize(Vec3 v) {
    const float len = std::sqrt(dot(v, v));
    if (len == 0.0f) return v; // a zero vector stays zero rather than becoming NaN
    return {v.x / len, v.y / len, v.z / len};
}

Mat4 LookAtLH(Vec3 eye, Vec3 at, Vec3 up) {
    const Vec3 z = normalize({at.x - eye.x, at.y - eye.y, at.z - eye.z});
    const Vec3 x = normalize(cross(up, z));
    const Vec3 y = cross(z, x);
    Mat4 r;
    r.m[0] = {x.x, y.x, z.x, 0.0f};
    r.m[1] = {x.y, y.y, z.y, 0.0f};
    r.m[2] = {x.z, y.z, z.z, 0.0f};
    r.m[3] = {-dot(x, eye), -dot(y, eye), -dot(z, eye), 1.0f};
    return r;
}

Mat4 PerspectiveFovLH(float fov, float aspect, float zn, float zf) {
    const float h = 1.0f / std::tan(fov / 2.0f);
    const float w = h / aspect;
    Mat4 r;
    r.m[0][0] = w;
    r.m[1][1] = h;
    r.m[2][2] = zf / (zf - zn);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zn * zf / (zf - zn);
    return r;
}

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Vec4 transform(Vec3 p, const Mat4& m) {
    const float v[4] = {p.x, p.y, p.z, 1.0f};
    float out[4];
    for (int j = 0; j < 4; ++j) {
        float s = 0.0f;
        for (int k = 0; k < 4; ++k)
            s += v[k] * m.m[k][j];
        out[j] = s;
    }
    return {out[0], out[1], out[2], out[3]};
}

ScreenPoint to_screen(Vec4 c, float width, float height) {
    ScreenPoint s;
    if (!(c.w > 0.0f)) return s; // behind the eye: no screen position
    const float x = c.x / c.w, y = c.y / c.w;
    s.depth = c.z / c.w;
    s.x = (x + 1.0f) * 0.5f * width;
    s.y = (1.0f - y) * 0.5f * height;
    s.inside =
        x >= -1.0f && x <= 1.0f && y >= -1.0f && y <= 1.0f && s.depth >= 0.0f && s.depth <= 1.0f;
    return s;
}

float to_radians_3_1415(float degrees) {
    // Single divided by a Double quotient, the result held as a Single.
    return float(double(degrees) / (180.0 / kPi3_1415));
}

SceneMatrices scene_matrices(float Roll, float Pitch, float Yaw, float yaw_zero) {
    const float yaw = to_radians_3_1415(Yaw - yaw_zero);
    const float pitch = to_radians_3_1415(-Pitch);
    const float roll = to_radians_3_1415(Roll);
    SceneMatrices s;
    s.world = RotationYawPitchRoll(yaw, pitch, roll);
    s.view = LookAtLH(vec3(0, 0, -4), vec3(0, 0, 0), vec3(0, 1, 0));
    s.projection = PerspectiveFovLH(kFov, kAspect, kNear, kFar);
    return s;
}

ScreenPoint project(Vec3 p, const SceneMatrices& s, float width, float height) {
    const Mat4 wvp = multiply(multiply(s.world, s.view), s.projection);
    return to_screen(transform(p, wvp), width, height);
}

} // namespace zento
