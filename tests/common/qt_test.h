#pragma once
// What the Qt test main sets up: one QApplication for the whole test binary, on the offscreen
// platform, or on X for tests that draw with OpenGL (ZENTO_TEST_GL=1, set by the build for them).
#include <QTest>

#include <functional>

namespace zento_test {

// True where the binary runs on an X display with OpenGL (GL tests only).
bool gl_available();

// Waits (processing events) until `done` holds; a generous limit, never a timing assertion.
inline bool wait_for(const std::function<bool()>& done, int limit_ms = 10000) {
    return QTest::qWaitFor(done, limit_ms);
}

} // namespace zento_test
