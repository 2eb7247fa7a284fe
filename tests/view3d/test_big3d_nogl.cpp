// The 3D window where no OpenGL device can be made (the offscreen platform has none, nor X with
// its OpenGL integration switched off): the help dialog, then the model load that cannot happen
// without a device.
#include "qt_test.h"
#include "view3d_test_util.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace view3d_test;
using namespace zento;

namespace {

TEST(Big3DWithoutOpenGL, HelpDialogThenTheLoadFailsAndTheWindowClosesItself) {
    Folder f;
    f.put_board_model();
    Window win(f.qpath());
    win.w->Show3D();
    EXPECT_FALSE(win.w->has_device());
    HelpDialog* help = win.w->dialog();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    // Its buttons do nothing: it stays.
    QTest::mouseClick(help->okButton, Qt::LeftButton);
    QTest::mouseClick(help->cancelButton, Qt::LeftButton);
    EXPECT_TRUE(help->isVisible());

    // The load went on and could not load the model into no device: reported, in the box and
    // in the log, then the window closed itself; the program goes on.
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_TRUE(win.boxes[0].dialog_on_screen);
    EXPECT_TRUE(win.boxes[0].text.contains(f.qpath() + "/liti8.x"))
        << win.boxes[0].text.toStdString();
    EXPECT_TRUE(win.boxes[0].text.contains("no OpenGL device")) << win.boxes[0].text.toStdString();
    ASSERT_EQ(win.log.size(), 1u);
    EXPECT_TRUE(win.log[0].startsWith("3D window closed: The 3D model cannot be loaded. \""))
        << win.log[0].toStdString();
    EXPECT_EQ(win.ends, 0);
    EXPECT_FALSE(win.w->isVisible());
    EXPECT_FALSE(win.w->loaded());
    EXPECT_FALSE(win.w->renderTimer->isActive());

    // "3D Show" again tries again.
    win.w->Show3D();
    EXPECT_EQ(win.w->load_count(), 2);
    EXPECT_EQ(win.boxes.size(), 2u);
    EXPECT_EQ(win.ends, 0);
}

} // namespace
