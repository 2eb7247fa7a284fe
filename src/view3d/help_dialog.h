#pragma once
// The help shown when the 3D window finds no 3D device: fixed texts and two buttons that do
// nothing; the close box closes it. A fixed-size dialog without a task-bar entry.
#include <QDialog>

class QLabel;
class QPushButton;

namespace zento {

class Dialog : public QDialog {
    Q_OBJECT
  public:
    explicit Dialog(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace zento
