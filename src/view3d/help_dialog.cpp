#include "view3d/help_dialog.h"

#include <QLabel>
#include <QPushButton>

namespace zento {

HelpDialog::HelpDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("创建3D模型失败"));
    setFixedSize(404, 105); // 6060 x 1575 twips
    setSizeGripEnabled(false);

    message = new QLabel(QStringLiteral("程序创建3D模型失败，你需要手动将程序目录下的 dx8vb.dll "
                                        "文件在系统中注册一下。"),
                         this);
    message->setObjectName(QStringLiteral("Label1"));
    QFont simsun = font();
    simsun.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    simsun.setPointSizeF(10.5);
    message->setFont(simsun);
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message->setGeometry(8, 8, 296, 44);

    stepCopy = new QLabel(QStringLiteral("1.将dx8vb.dll 复制到 system32 文件夹下"), this);
    stepCopy->setObjectName(QStringLiteral("Label2"));
    stepCopy->setGeometry(8, 56, 296, 17);

    stepRegister =
        new QLabel(QStringLiteral("2.在开始---运行里输入“regsvr32.exe dx8vb.dll”回车 确定"), this);
    stepRegister->setObjectName(QStringLiteral("Label3"));
    stepRegister->setWordWrap(true);
    stepRegister->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stepRegister->setGeometry(8, 76, 300, 28);

    // Buttons at the right edge: left 4680, tops 120 and 600, 1215 x 375 twips. No action.
    okButton = new QPushButton(QStringLiteral("确定"), this);
    okButton->setObjectName(QStringLiteral("OKButton"));
    okButton->setGeometry(312, 8, 81, 25);
    okButton->setAutoDefault(false);
    cancelButton = new QPushButton(QStringLiteral("取消"), this);
    cancelButton->setObjectName(QStringLiteral("CancelButton"));
    cancelButton->setGeometry(312, 40, 81, 25);
    cancelButton->setAutoDefault(false);
}

} // namespace zento
