#pragma once
// The gyroscope confirmation dialog: the user confirms that the board lies still before the
// gyroscope bias command goes out. Modeless; its buttons hide it, so there is only ever one.
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <functional>

namespace zento {

class Dialog2 : public QDialog {
    Q_OBJECT
  public:
    explicit Dialog2(QWidget* parent = nullptr);

    // Run by "Start!" before the dialog hides (the main window's Send_gyro).
    std::function<void()> on_start;

    void OKButton_Click();     // "Start!": send, then hide
    void CancelButton_Click(); // "Canceled": hide, nothing sent

    QLabel* Label1 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

} // namespace zento
