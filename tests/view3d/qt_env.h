#pragma once
// One QApplication per test binary. With gl = true the binary needs an X display for OpenGL
// (the offscreen platform has no OpenGL widgets): it uses the xcb platform when DISPLAY is set,
// and gl_available() tells the tests whether they can run.
namespace view3d_test {

void install_qt_environment(bool gl);
bool gl_available();

} // namespace view3d_test
