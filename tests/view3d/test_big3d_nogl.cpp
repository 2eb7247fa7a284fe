// The 3D window where no OpenGL device can be made (the offscreen platform has none, nor X with
// its OpenGL integration switched off): the help dialog, then the model load that cannot happen
// without a device.
#include "qt_test.h"
#include "view3d_test_util.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace view3d_test;
using namespace zento;

namespace {

TEST(HelpDialog, FixedTextsAndSizes) {
    Dialog d;
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("创建3D模型失败"));
    EXPECT_EQ(d.Label1->text(),
              QString::fromUtf8("程序创建3D模型失败，你需要手动将程序目录下的 dx8vb.dll "
                                "文件在系统中注册一下。"));
    EXPECT_EQ(d.Label2->text(), QString::fromUtf8("1.将dx8vb.dll 复制到 system32 文件夹下"));
    EXPECT_EQ(d.Label3->text(),
              QString::fromUtf8("2.在开始---运行里输入“regsvr32.exe dx8vb.dll”回车 确定"));
    EXPECT_EQ(d.OKButton->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(d.CancelButton->text(), QString::fromUtf8("取消"));
    EXPECT_EQ(d.size(), QSize(404, 105));
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // fixed size
    EXPECT_EQ(d.OKButton->geometry(), QRect(312, 8, 81, 25));
    EXPECT_EQ(d.CancelButton->geometry(), QRect(312, 40, 81, 25));
    EXPECT_DOUBLE_EQ(d.Label1->font().pointSizeF(), 10.5);
    EXPECT_TRUE(d.Label1->font().families().contains("SimSun"));
    EXPECT_EQ(d.Label2->font(), d.font());
    const Qt::WindowFlags f = d.windowFlags();
    EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);

    // The buttons do nothing: the dialog stays.
    d.show();
    QTest::mouseClick(d.OKButton, Qt::LeftButton);
    QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), 0);
}

TEST(Big3DWithoutOpenGL, HelpDialogThenTheLoadFailsAndTheWindowClosesItself) {
    Folder f;
    f.put_board_model();
    Window win(f.path());
    win.w->Show3D();
    EXPECT_FALSE(win.w->has_device());
    ASSERT_NE(win.w->dialog(), nullptr);
    EXPECT_TRUE(win.w->dialog()->isVisible());
    EXPECT_FALSE(win.w->dialog()->isModal());
    EXPECT_TRUE(win.w->dialog()->isWindow());
    EXPECT_EQ(win.w->dialog()->parentWidget(), win.w.get()); // no task-bar entry of its own

    // The load went on and could not load the model into no device: reported, in the box and
    // in the log, then the window closed itself; the program goes on.
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_TRUE(win.boxes[0].dialog_on_screen);
    EXPECT_EQ(win.boxes[0].caption, "Zento");
    EXPECT_TRUE(win.boxes[0].text.contains(f.path() + "/liti8.x"))
        << win.boxes[0].text.toStdString();
    EXPECT_TRUE(win.boxes[0].text.contains("no OpenGL device")) << win.boxes[0].text.toStdString();
    ASSERT_EQ(win.log.size(), 1u);
    EXPECT_TRUE(win.log[0].startsWith("3D window closed: The 3D model cannot be loaded. \""))
        << win.log[0].toStdString();
    EXPECT_EQ(win.ends, 0);
    EXPECT_FALSE(win.w->isVisible());
    EXPECT_FALSE(win.w->loaded());
    EXPECT_FALSE(win.w->Timer1->isActive());
    win.w->Render(); // no device: does nothing
    EXPECT_EQ(win.w->frames_drawn(), 0);

    // "3D Show" again tries again.
    win.w->Show3D();
    EXPECT_EQ(win.w->load_count(), 2);
    EXPECT_EQ(win.boxes.size(), 2u);
    EXPECT_EQ(win.ends, 0);
}

} // namespace
