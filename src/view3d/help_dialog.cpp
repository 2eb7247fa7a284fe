#include "view3d/help_dialog.h"

#include <QLabel>
#include <QPushButton>

namespace zento {

Dialog::Dialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("创建3D模型失败"));
    setFixedSize(404, 105); // 6060 x 1575 twips
    setSizeGripEnabled(false);

    Label1 = new QLabel(QStringLiteral("程序创建3D模型失败，你需要手动将程序目录下的 dx8vb.dll "
                                       "文件在系统中注册一下。"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont simsun = font();
    simsun.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    simsun.setPointSizeF(10.5);
    Label1->setFont(simsun);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(8, 8, 296, 44);

    Label2 = new QLabel(QStringLiteral("1.将dx8vb.dll 复制到 system32 文件夹下"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 56, 296, 17);

    Label3 =
        new QLabel(QStringLiteral("2.在开始---运行里输入“regsvr32.exe dx8vb.dll”回车 确定"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->setGeometry(8, 76, 300, 28);

    // Buttons at the right edge: left 4680, tops 120 and 600, 1215 x 375 twips. No action.
    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(312, 8, 81, 25);
    OKButton->setAutoDefault(false);
    CancelButton = new QPushButton(QStringLiteral("取消"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(312, 40, 81, 25);
    CancelButton->setAutoDefault(false);
}

} // namespace zento
