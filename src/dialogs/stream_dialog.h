#pragma once
// Setting > "Stream values...": whether to send each decoded frame over UDP, and where to.
#include "settings/stream_settings.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace zento {

// The "Stream values" window: whether to stream, and where to.
class StreamDialog : public QDialog {
    Q_OBJECT
  public:
    explicit StreamDialog(QWidget* parent);

    void show_settings(bool send, const StreamTarget& target);
    // What the fields say, or nothing (and the problem shown in the window) when the host is
    // not usable.
    std::optional<StreamTarget> target() const;

    QCheckBox* sendCheck;
    QLineEdit* hostEdit;
    QSpinBox* portSpin;
    QLabel* problemLabel;

    void accept() override; // OK: refused, with the problem shown, while the host is unusable

  signals:
    void chosen(bool send, StreamTarget target); // OK, with a usable address
};

} // namespace zento
