#include "shell/message_log.h"

#include "shell/pulse_lamp.h"

#include <QAbstractButton>
#include <QPlainTextEdit>

namespace zento {

MessageLog::MessageLog(QPlainTextEdit* text, Lamp* lamp, QAbstractButton* clear, QObject* parent,
                       Clock& clock)
    : QObject(parent), text_(text), lamp_(new PulseLamp(lamp, 400, "LED_Time", this, clock)) {
    text_->setMaximumBlockCount(kMaxLines);
    connect(clear, &QAbstractButton::clicked, this, &MessageLog::Clear);
}

void MessageLog::Show_msg(std::string_view utf8) {
    Show_msg(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

void MessageLog::Show_msg(const QString& text) {
    msg_count_ = std::int16_t(msg_count_ + 1);
    QString line;
    if (lines_.empty()) {
        line = QString::number(msg_count_) + QStringLiteral(":  ") + text;
        text_->setPlainText(line);
    } else {
        line = QStringLiteral(">  ") + text;
        text_->appendPlainText(line);
    }
    lines_.push_back(line);
    while (lines_.size() > std::size_t(kMaxLines))
        lines_.pop_front();
    text_->moveCursor(QTextCursor::End);
    text_->ensureCursorVisible();
    lamp_->pulse();
}

void MessageLog::reset() {
    text_->clear();
    lines_.clear();
    msg_count_ = 0;
}

void MessageLog::Clear() {
    lines_.assign(1, QStringLiteral("Clear...."));
    text_->setPlainText(lines_.front());
}

QString MessageLog::text() const {
    QString out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) out += QStringLiteral("\r\n");
        out += lines_[i];
    }
    return out;
}

} // namespace zento
