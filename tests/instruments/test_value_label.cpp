// Value labels: the same pixels as a QLabel with the same text, and repaints after a new reading
// that leave nothing stale (a stale pixel would show a wrong reading).
#include "controls/fonts.h"
#include "controls/form_controls.h"
#include "instruments/value_label.h"
#include "widget_test_util.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace zento;
using namespace zento::test;

namespace {

// Texts of the main window's value labels at ordinary values and at the extremes of their
// words, and texts the shaper treats specially (kerning pairs, a ligature, a character from a
// fallback face, a number after a letter it may kern with, no number at all).
const QString kTexts[] = {
    QStringLiteral("Yaw:-12.5"),
    QStringLiteral("Pitch:-3276.7"),
    QStringLiteral(" AX:-32767"),
    QStringLiteral(" HZ:9"),
    QStringLiteral("Height:122.4m"),
    QStringLiteral("Press:101320Pa"),
    QStringLiteral("Temp:25.3\u2103"),
    QStringLiteral("Attitude solution:-32767 Times per second"),
    QStringLiteral("-3276.7C"),
    QStringLiteral("AVATAR Tj ffi 1111"),
    QStringLiteral("T.5 V-1 P.7"),
    QStringLiteral("Estimate Speed"),
    QStringLiteral("x"),
};

std::vector<QFont> fonts() {
    return {font_arial(10.5, true), font_arial(8, false), font_xinsongti(10.5), font_heiti(10.5),
            QFont()};
}

// A shown top-level window holding one label (a value label, or a QLabel to compare with), as
// the main window holds its labels.
struct Shown {
    QWidget window;
    QLabel* label;
    Shown(const QString& text, const QFont& font, Qt::Alignment align, bool plain = false) {
        window.resize(320, 40);
        label = plain ? new QLabel(text, &window) : new ValueLabel(text, &window);
        label->setGeometry(8, 8, 300, 17);
        label->setFont(font);
        label->setAlignment(align);
        paint_own_background(label);
        window.show();
        QApplication::processEvents();
    }
    // What the window's backing store holds now (what the screen shows).
    QImage screen() const {
        return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
    }
};

// Records the region of every paint event a widget gets.
struct PaintLog : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return false;
    }
};

} // namespace

// A value label looks exactly as a QLabel with the same text, font, colours and alignment, at
// either pixel ratio; its number is placed from the digit table in the window's fonts.
TEST(ValueLabel, PaintsAsAQLabel) {
    for (const QFont& font : fonts())
        for (const QString& text : kTexts)
            for (Qt::Alignment align :
                 {Qt::AlignLeft | Qt::AlignVCenter, Qt::Alignment(Qt::AlignCenter),
                  Qt::AlignRight | Qt::AlignBottom}) {
                QLabel plain(text);
                ValueLabel value(text);
                for (QLabel* l : {&plain, static_cast<QLabel*>(&value)}) {
                    l->resize(300, 17);
                    l->setFont(font);
                    l->setAlignment(align);
                    QPalette pal = l->palette();
                    pal.setColor(QPalette::WindowText, Qt::red);
                    pal.setColor(QPalette::Window, QColor(200, 210, 220));
                    l->setPalette(pal);
                    l->setAutoFillBackground(true);
                }
                for (qreal dpr : {1.0, 2.0})
                    ASSERT_EQ(render(value, dpr), render(plain, dpr))
                        << text.toStdString() << " in " << font.family().toStdString() << " at "
                        << dpr;
                // Too narrow for the text: clipped as QLabel clips it.
                plain.resize(40, 13);
                value.resize(40, 13);
                ASSERT_EQ(render(value), render(plain)) << text.toStdString() << " clipped";
            }
    for (const char* text : {"Yaw:-12.5", " AX:-32767", "Height:122.4m", "Press:101320Pa",
                             "Temp:-25.3\u2103", "Attitude solution:-32767 Times per second"}) {
        ValueLabel value(QString::fromUtf8(text));
        value.setFont(font_arial(10.5, true));
        value.resize(300, 17);
        (void)render(value);
        EXPECT_TRUE(value.numberPlaced()) << text;
    }
    // A letter that kerns with the number's first character: laid out by Qt (drawn right above).
    QFont font = font_arial(10.5, true);
    const QFontMetricsF m(font);
    if (m.horizontalAdvance(QStringLiteral("T.")) !=
        m.horizontalAdvance(QStringLiteral("T")) + m.horizontalAdvance(QStringLiteral("."))) {
        ValueLabel kerned(QStringLiteral("T.5"));
        kerned.setFont(font);
        (void)render(kerned);
        EXPECT_FALSE(kerned.numberPlaced());
    }

    // Labels that are more than a plain line are QLabels: markup, a picture, disabled.
    QPixmap picture(12, 12);
    picture.fill(Qt::blue);
    const std::function<void(QLabel&)> changes[] = {
        [](QLabel& l) {
            l.setTextFormat(Qt::RichText);
            l.setText(QStringLiteral("<b>Yaw</b>:-12.5"));
        },
        [&](QLabel& l) { l.setPixmap(picture); }, [](QLabel& l) { l.setEnabled(false); }};
    for (const auto& change : changes) {
        QLabel plain(QStringLiteral("Yaw:-12.5"));
        ValueLabel value(QStringLiteral("Yaw:-12.5"));
        for (QLabel* l : {&plain, static_cast<QLabel*>(&value)}) {
            l->resize(300, 17);
            change(*l);
        }
        EXPECT_EQ(render(value), render(plain));
    }
}

// A new reading repaints only the columns whose glyphs changed, and after every reading the
// screen shows what a QLabel with that text shows: numbers that grow, shrink, change sign,
// move the caption after them or (centred) the whole text; new captions; texts without a number;
// readings while hidden or while the window's updates are off; texts set as a QLabel's.
TEST(ValueLabel, NewTextsRepaintTheChangedColumnsAndLeaveNothingStale) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> value(-32767, 32767), digits(0, 4);
    const QString captions[][2] = {{"Yaw:", ""},
                                   {" AX:", ""},
                                   {"Height:", "m"},
                                   {"Temp:", "\u2103"},
                                   {"", "m"},
                                   {"Press:", "Pa"},
                                   {"Attitude solution:", " Times per second"}};
    for (const QFont& font : fonts())
        for (Qt::Alignment align :
             {Qt::AlignLeft | Qt::AlignVCenter, Qt::Alignment(Qt::AlignCenter)}) {
            Shown shown(QStringLiteral("Yaw"), font, align);
            auto& label = static_cast<ValueLabel&>(*shown.label);
            PaintLog log;
            label.installEventFilter(&log);
            std::vector<QString> texts = {
                "Yaw:-12.5",    "Yaw:-12.7",   "Yaw:12.7",      "Yaw:9",         "Yaw:-3276.7",
                "Height:99.9m", "Height:100m", "Temp:25\u2103", "Temp:26\u2103", "Estimate Speed"};
            for (int i = 0; i < 60; ++i) { // six readings of each caption in turn
                const QString* c = captions[std::size_t(i / 6) % std::size(captions)];
                texts.push_back(c[0] + QString::number(value(rng) / std::pow(10, digits(rng))) +
                                c[1]);
            }
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (i % 7 == 6) label.hide(); // a reading while hidden
                if (i % 13 == 12) { // or while the window holds its updates: they stay held
                    shown.window.setUpdatesEnabled(false);
                    label.setValueText(texts[i]);
                    ASSERT_FALSE(label.updatesEnabled());
                    shown.window.setUpdatesEnabled(true);
                    label.update();
                }
                if (i % 11 == 10)
                    label.setText(texts[i]); // set as a QLabel's text
                else
                    label.setValueText(texts[i]);
                label.show();
                shown.window.setUpdatesEnabled(true);
                if (i % 5 == 3) continue; // sometimes two readings per paint
                QApplication::processEvents();
                const Shown fresh(texts[i], font, align, true);
                ASSERT_EQ(shown.screen(), fresh.screen())
                    << font.family().toStdString() << " " << texts[i].toStdString() << " after "
                    << (i > 0 ? texts[i - 1] : QString()).toStdString() << " align " << align;
            }
            // One digit at the end changes: only its columns are painted.
            label.setValueText(u"Yaw:-12.5");
            QApplication::processEvents();
            const int same_end = QFontMetrics(label.font()).horizontalAdvance("Yaw:-12.");
            log.painted = QRegion();
            label.setValueText(u"Yaw:-12.7");
            QApplication::processEvents();
            const QRect painted = log.painted.boundingRect();
            EXPECT_EQ(painted.height(), label.height());
            EXPECT_GT(painted.width(), 0);
            if (align & Qt::AlignLeft) {
                EXPECT_GT(painted.left(), same_end - 4) << font.family().toStdString();
                EXPECT_LT(painted.right(), same_end + 14) << font.family().toStdString();
            }
            // The same text again paints nothing.
            const int paints = log.paints;
            label.setValueText(u"Yaw:-12.7");
            QApplication::processEvents();
            EXPECT_EQ(log.paints, paints);
        }
}
