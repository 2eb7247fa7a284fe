#pragma once
// The message log: every line the program has for the user, in the log text box, with its lamp
// flashing for 400 ms after each line.
//
// The first line after start-up (or after the log was emptied) is numbered with the count of
// lines written so far ("1:  ..."), every later one is marked ">  ...". "Clear" leaves the one
// line "Clear....". The log keeps its newest kMaxLines lines; the count of lines written is a
// 16-bit number that wraps.
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <string_view>

class QAbstractButton;
class QPlainTextEdit;

namespace zento {

class Clock;
class Lamp;
class PulseLamp;

class MessageLog : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxLines = 10000;

    // `clock`: what the lamp's hold runs on.
    MessageLog(QPlainTextEdit* text, Lamp* lamp, QAbstractButton* clear, QObject* parent,
               Clock& clock);

    // Appends one line and flashes the lamp. Never fails.
    void Show_msg(const QString& text);
    void Show_msg(std::string_view utf8);
    // Empties the log and its count (start-up).
    void reset();
    // "Clear": the log becomes the one line "Clear...."; the count goes on.
    void Clear();

    // The log's whole text, lines separated by CR LF.
    QString text() const;
    std::int16_t count() const { return msg_count_; }
    PulseLamp& lamp() const { return *lamp_; }

  private:
    QPlainTextEdit* text_;
    PulseLamp* lamp_;
    std::deque<QString> lines_;
    std::int16_t msg_count_ = 0;
};

} // namespace zento
