// Text runs and value labels: the same pixels as Qt's own text drawing, and repaints that cover
// exactly what changed (a stale pixel left behind would show a wrong reading).
#include "platform/widgets/fonts.h"
#include "platform/widgets/form_controls.h"
#include "platform/widgets/value_label.h"
#include "widget_test_util.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
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
// fallback face).
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
    QStringLiteral("x"),
};

std::vector<QFont> fonts() {
    return {font_arial(10.5, true), font_arial(8, false), font_xinsongti(10.5), font_heiti(10.5),
            QFont()};
}

QImage canvas(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(kBackdrop);
    return img;
}

// A shown top-level window holding one label, as the main window holds its labels.
struct Shown {
    QWidget window;
    Shown() { window.resize(320, 40); }
    void show() {
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

ValueLabel* place_label(QWidget* parent, const QString& text, const QFont& font) {
    auto* l = new ValueLabel(text, parent);
    l->setGeometry(8, 8, 300, 17);
    l->setFont(font);
    paint_own_background(l);
    l->show();
    return l;
}

} // namespace

// A run draws what QPainter::drawText draws, pixel for pixel: every alignment, inside a
// rectangle that holds the text and one that clips it.
TEST(TextRun, DrawsWhatDrawTextDraws) {
    QWidget device;
    const int aligns[] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter,
                          Qt::AlignRight | Qt::AlignVCenter, Qt::AlignLeft | Qt::AlignTop,
                          Qt::AlignHCenter | Qt::AlignBottom};
    for (const QFont& font : fonts())
        for (const QString& text : kTexts)
            for (const QRect r : {QRect(3, 2, 290, 17), QRect(5, 1, 40, 13)})
                for (int align : aligns) {
                    const int flags = align | Qt::TextForceLeftToRight;
                    QImage expected = canvas({300, 22}), drawn = canvas({300, 22});
                    {
                        QPainter p(&expected);
                        p.setFont(QFont(font, &device));
                        p.drawText(r, flags, text);
                    }
                    {
                        QPainter p(&drawn);
                        TextRun(text, font, &device).draw(p, r, flags);
                    }
                    ASSERT_EQ(drawn, expected)
                        << text.toStdString() << " in " << font.family().toStdString() << " align "
                        << align << " width " << r.width();
                    // Placed from learnt glyphs (or laid out again where it cannot be).
                    drawn = canvas({300, 22});
                    {
                        QPainter p(&drawn);
                        TextRun(QStringLiteral("0"), font, &device).relaid(text).draw(p, r, flags);
                    }
                    ASSERT_EQ(drawn, expected) << "relaid " << text.toStdString() << " in "
                                               << font.family().toStdString() << " align " << align;
                }
}

// Runs relaid one from another, as a label's readings are, place their glyphs from what they
// learnt of the font: random texts of the value labels' characters in every font, each drawn as
// drawText draws it, whole and for a paint of a few columns, and as wide as Qt lays it out; value
// texts in the labels' font are placed (not shaped again), the degree sign in its own face too.
// (Ligatures: DrawsWhatDrawTextDraws.)
TEST(TextRun, RelaidRunsArePlacedAndDrawnAsQtDrawsThem) {
    QWidget device;
    const QString alphabet = QStringLiteral("0123456789.-:  AXYZGHPRTacehilmnoprstw\u2103");
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> len(1, 24), pick(0, int(alphabet.size()) - 1);
    const QRect r(3, 2, 290, 17);
    for (const QFont& font : fonts()) {
        TextRun run(QStringLiteral("Yaw:0"), font, &device);
        for (int i = 0; i < 150; ++i) {
            // Most texts keep a leading part of the one before, as a reading's first digits do.
            QString text = i % 3 ? run.text().left(len(rng)) : QString();
            for (int n = len(rng) / (i % 3 ? 4 : 1); n > 0; --n)
                text += alphabet[pick(rng)];
            run = run.relaid(text);
            const int flags = (i % 2 ? Qt::AlignCenter : Qt::AlignRight | Qt::AlignVCenter) |
                              Qt::TextForceLeftToRight;
            QImage expected = canvas({300, 22}), drawn = canvas({300, 22});
            {
                QPainter p(&expected);
                p.setFont(QFont(font, &device));
                p.drawText(r, flags, text);
            }
            {
                QPainter p(&drawn);
                run.draw(p, r, flags);
            }
            ASSERT_EQ(drawn, expected)
                << text.toStdString() << " in " << font.family().toStdString();
            // Drawn for a paint of a few columns only: the same pixels there.
            const int from = 3 + int(rng() % 280), to = from + int(rng() % 24);
            const QRect only(QPoint(from, 0), QPoint(to, 21));
            expected = canvas({300, 22});
            drawn = canvas({300, 22});
            {
                QPainter p(&expected);
                p.setClipRect(only);
                p.setFont(QFont(font, &device));
                p.drawText(r, flags, text);
            }
            {
                QPainter p(&drawn);
                p.setClipRect(only);
                run.draw(p, r, flags, only);
            }
            ASSERT_EQ(drawn, expected) << text.toStdString() << " in columns " << from << "-" << to;
            EXPECT_DOUBLE_EQ(run.width(), TextRun(text, font, &device).width())
                << text.toStdString();
        }
    }
    const QFont labels = font_arial(10.5, true);
    TextRun run(QStringLiteral("Yaw:0"), labels, &device);
    for (const QString& text : {QStringLiteral("Yaw:-12.5"), QStringLiteral(" AX:-32767"),
                                QStringLiteral("Height:122.4m"), QStringLiteral("Press:101320Pa"),
                                QStringLiteral("Temp:-25.3\u2103"), // a fallback face for the sign
                                QStringLiteral("Attitude solution:-32767 Times per second")}) {
        run = run.relaid(text);
        EXPECT_TRUE(run.placed()) << text.toStdString();
    }
    EXPECT_FALSE(run.relaid(QString()).placed());
}

// What a run learns is bounded: past kMaxChars characters, new ones are laid out by Qt, and
// every text is still drawn right.
TEST(TextRun, LearntGlyphsAreBounded) {
    QWidget device;
    const QFont font = font_arial(10.5, true);
    TextRun run(QStringLiteral("0"), font, &device);
    for (int c = 0x100; c < 0x100 + TextRun::kMaxChars + 40; ++c)
        run = run.relaid(QString(QChar(c)) + QStringLiteral("1"));
    const QString text = QStringLiteral("Z\u00e9"); // characters not learnt yet
    run = run.relaid(text);
    EXPECT_FALSE(run.placed());
    const QRect r(3, 2, 290, 17);
    QImage expected = canvas({300, 22}), drawn = canvas({300, 22});
    {
        QPainter p(&expected);
        p.setFont(QFont(font, &device));
        p.drawText(r, Qt::AlignLeft | Qt::TextForceLeftToRight, text);
    }
    {
        QPainter p(&drawn);
        run.draw(p, r, Qt::AlignLeft | Qt::TextForceLeftToRight);
    }
    EXPECT_EQ(drawn, expected);
    EXPECT_TRUE(run.relaid(QStringLiteral("1")).placed()); // what was learnt still serves
}

TEST(TextRun, ChangedColumnsCoverEveryPixelThatDiffers) {
    // Pairs of texts drawn in the same rectangle: outside changed() the two pictures agree, the
    // second laid out whole and placed from the first's learnt glyphs.
    QWidget device;
    const std::pair<QString, QString> pairs[] = {
        {"Yaw:-12.5", "Yaw:-12.7"},
        {"Yaw:-12.5", "Yaw:12.5"},
        {"Yaw:9", "Yaw:-3276.7"},
        {" AX:1111", " AX:1171"},
        {"Attitude solution:200 Times per second", "Attitude solution:1999 Times per second"},
        {"Height:99.9m", "Height:100m"},
        {"Temp:25\u2103", "Temp:26\u2103"},
        {"AVATAR", "AVAVAR"},
        {"office", "offize"},
        {"x", "x"},
    };
    for (const QFont& font : fonts())
        for (const auto& [a, b] : pairs)
            for (int align : {int(Qt::AlignLeft | Qt::AlignVCenter), int(Qt::AlignCenter)})
                for (bool relaid : {false, true}) {
                    const QRect r(4, 2, 280, 17);
                    const TextRun before(a, font, &device);
                    const TextRun after = relaid ? before.relaid(b) : TextRun(b, font, &device);
                    const QRect changed = TextRun::changed(before, after, r, align);
                    QImage one = canvas({300, 22}), two = canvas({300, 22});
                    {
                        QPainter p(&one);
                        before.draw(p, r, align);
                    }
                    {
                        QPainter p(&two);
                        after.draw(p, r, align);
                    }
                    if (a == b) {
                        EXPECT_TRUE(changed.isEmpty());
                    }
                    for (int y = 0; y < one.height(); ++y) {
                        for (int x = 0; x < one.width(); ++x) {
                            if (one.pixel(x, y) != two.pixel(x, y)) {
                                ASSERT_TRUE(changed.contains(x, y))
                                    << a.toStdString() << " -> " << b.toStdString() << " at " << x
                                    << "," << y << " outside " << changed.x() << "+"
                                    << changed.width();
                            }
                        }
                    }
                }
}

// A value label looks exactly as a QLabel with the same text, font, colours and alignment.
TEST(ValueLabel, PaintsAsAQLabel) {
    for (const QFont& font : fonts())
        for (const QString& text : kTexts)
            for (Qt::Alignment align :
                 {Qt::AlignLeft | Qt::AlignVCenter, Qt::Alignment(Qt::AlignCenter)}) {
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
                ASSERT_EQ(render(value), render(plain)) << text.toStdString();
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

// New readings repaint only the columns whose glyphs changed, and after any sequence of them the
// screen shows what a fresh label with the last text shows.
TEST(ValueLabel, NewTextsRepaintTheChangedColumnsAndLeaveNothingStale) {
    std::mt19937 rng(5);
    for (const QFont& font : fonts()) {
        Shown shown;
        ValueLabel* label = place_label(&shown.window, QStringLiteral("Yaw"), font);
        shown.show();
        PaintLog log;
        label->installEventFilter(&log);

        // One digit at the end changes: only its columns are painted.
        label->setValueText(u"Yaw:-12.5");
        QApplication::processEvents();
        const int prefix_end =
            QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("Yaw:-1"));
        log.painted = QRegion();
        label->setValueText(u"Yaw:-12.7");
        QApplication::processEvents();
        EXPECT_EQ(log.painted.boundingRect().height(), label->height());
        EXPECT_GT(log.painted.boundingRect().left(), prefix_end - 6) << font.family().toStdString();
        EXPECT_LT(log.painted.boundingRect().right(), label->width() / 2);
        // The same text again paints nothing.
        const int paints = log.paints;
        label->setValueText(u"Yaw:-12.7");
        QApplication::processEvents();
        EXPECT_EQ(log.paints, paints);

        std::uniform_int_distribution<int> value(-32767, 32767), len(1, 5);
        QString text;
        for (int i = 0; i < 60; ++i) {
            const int v = i % 10 == 0 ? value(rng) : value(rng) / int(std::pow(10, len(rng)));
            text = (i % 3 ? QStringLiteral("Yaw:") : QStringLiteral(" AX:")) +
                   QString::number(v / 10.0);
            label->setValueText(text);
            if (i % 4 != 1) QApplication::processEvents(); // sometimes two texts per paint
        }
        QApplication::processEvents();
        Shown fresh;
        place_label(&fresh.window, text, font);
        fresh.show();
        EXPECT_EQ(shown.screen(), fresh.screen())
            << font.family().toStdString() << " " << text.toStdString();
    }
}
