#pragma once
// The help shown when the 3D window finds no 3D device: fixed texts and two buttons that do
// nothing; the close box closes it. A fixed-size dialog without a task-bar entry.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zento {

class HelpDialog : public QDialog {
    Q_OBJECT
  public:
    explicit HelpDialog(QWidget* parent = nullptr);

    // Controls by role; each objectName is its designer id.
    QLabel* message;           // Label1
    QLabel* stepCopy;          // Label2 "1. ... dx8vb.dll ... system32"
    QLabel* stepRegister;      // Label3 "2. ... regsvr32.exe dx8vb.dll ..."
    QPushButton* okButton;     // OKButton
    QPushButton* cancelButton; // CancelButton
};

} // namespace zento
