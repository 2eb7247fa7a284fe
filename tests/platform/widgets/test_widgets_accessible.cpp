// What assistive technology sees of the instrument widgets: role, name, state, value,
// the switch's press action, and the change notifications.
#include "platform/widgets/widgets.h"

#include "platform/widgets/accessible_events.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace zento;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QAccessibleInterface* a11y(QWidget& w) {
    install_widget_accessibility();
    return QAccessible::queryAccessibleInterface(&w);
}

QString name_of(QWidget& w) {
    return a11y(w)->text(QAccessible::Name);
}

TEST(Accessible, LampsAreIndicatorsCheckedWhileLit) {
    LedRectangle rxd;
    rxd.setLabel(QStringLiteral("RXD"));
    QAccessibleInterface* i = a11y(rxd);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Indicator);
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("RXD"));
    EXPECT_TRUE(i->state().checkable);
    EXPECT_FALSE(i->state().checked);
    EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("off"));
    EXPECT_EQ(i->text(QAccessible::Description), QStringLiteral("off"));
    rxd.setActive(true);
    EXPECT_TRUE(i->state().checked);
    EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("on"));
    EXPECT_EQ(i->text(QAccessible::Description), QStringLiteral("on"));

    // A name given by the program wins over the label; a lamp without either still has one.
    rxd.setAccessibleName(QStringLiteral("Receive"));
    EXPECT_EQ(name_of(rxd), QStringLiteral("Receive"));
    LedDiamond msg;
    EXPECT_EQ(a11y(msg)->role(), QAccessible::Indicator);
    EXPECT_FALSE(name_of(msg).isEmpty());
    msg.setAccessibleName(QStringLiteral("Message lamp"));
    EXPECT_EQ(name_of(msg), QStringLiteral("Message lamp"));
    msg.setActive(true);
    EXPECT_TRUE(a11y(msg)->state().checked);
}

TEST(Accessible, InstallingTwiceChangesNothing) {
    install_widget_accessibility();
    install_widget_accessibility();
    Panel p;
    p.setTitleText(QStringLiteral("Port Setting"));
    EXPECT_EQ(a11y(p)->role(), QAccessible::Grouping);
    EXPECT_EQ(name_of(p), QStringLiteral("Port Setting"));
}

TEST(Accessible, SwitchIsAButtonNamedByItsCaption) {
    SwitchLed s;
    QAccessibleInterface* i = a11y(s);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Button);
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("Connect AHRS"));
    s.setCaption(QStringLiteral("Port Close"));
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("Port Close"));
    EXPECT_FALSE(i->state().checked);
    s.setActive(true);
    EXPECT_TRUE(i->state().checked);
    EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("on"));
    s.setActive(false);
    EXPECT_FALSE(i->state().checked);
}

TEST(Accessible, SwitchPressActionClicksIt) {
    SwitchLed s;
    QSignalSpy clicked(&s, &QAbstractButton::clicked);
    QAccessibleActionInterface* act = a11y(s)->actionInterface();
    ASSERT_NE(act, nullptr);
    ASSERT_TRUE(act->actionNames().contains(QAccessibleActionInterface::pressAction()));
    act->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicked.count(), 1);
    // Unknown actions do nothing.
    act->doAction(QStringLiteral("no such action"));
    EXPECT_EQ(clicked.count(), 1);
    // A disabled switch offers no press and ignores one.
    s.setEnabled(false);
    EXPECT_FALSE(act->actionNames().contains(QAccessibleActionInterface::pressAction()));
    act->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicked.count(), 1);
}

TEST(Accessible, CompassIsADialWithItsHeading) {
    Compass c;
    QAccessibleInterface* i = a11y(c);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Dial);
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("Compass"));
    QAccessibleValueInterface* v = i->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->minimumValue().toDouble(), 0);
    EXPECT_EQ(v->maximumValue().toDouble(), 360);
    c.setDirection(-90);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 270);
    EXPECT_TRUE(i->text(QAccessible::Value).startsWith(QStringLiteral("270")));
    c.setDirection(123.4);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 123.4);
    // Driven by the program only: a client cannot turn it.
    v->setCurrentValue(10.0);
    EXPECT_DOUBLE_EQ(c.Direction(), 123.4);
    c.setDirection(kNaN);
    EXPECT_FALSE(v->currentValue().isValid());
    EXPECT_FALSE(i->text(QAccessible::Value).isEmpty());
}

TEST(Accessible, BarAndThermometerReportLevelAndRange) {
    LedBar bar;
    QAccessibleInterface* i = a11y(bar);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::ProgressBar);
    QAccessibleValueInterface* v = i->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->minimumValue().toDouble(), 0);
    EXPECT_EQ(v->maximumValue().toDouble(), 200);
    bar.setPosition(123.5);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 123.5);
    // The level shown is clipped; the reading itself is still told.
    bar.setPosition(250);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 200);
    EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("250"));
    bar.setPosition(kNaN);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 0);

    Thermometer t;
    QAccessibleInterface* ti = a11y(t);
    ASSERT_NE(ti, nullptr);
    EXPECT_EQ(ti->role(), QAccessible::ProgressBar);
    EXPECT_FALSE(ti->text(QAccessible::Name).isEmpty());
    QAccessibleValueInterface* tv = ti->valueInterface();
    ASSERT_NE(tv, nullptr);
    EXPECT_EQ(tv->maximumValue().toDouble(), 50);
    t.setPosition(-4.5);
    EXPECT_DOUBLE_EQ(tv->currentValue().toDouble(), 0);
    EXPECT_EQ(ti->text(QAccessible::Value), QStringLiteral("-4.5"));
    t.setPosition(25);
    EXPECT_DOUBLE_EQ(tv->currentValue().toDouble(), 25);
}

TEST(Accessible, LabelIsStaticTextNamedByItsCaption) {
    TextLabel l;
    QAccessibleInterface* i = a11y(l);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::StaticText);
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("Temp"));
    l.setCaption(QStringLiteral("25C"));
    EXPECT_EQ(i->text(QAccessible::Name), QStringLiteral("25C"));
}

TEST(Accessible, PanelIsAGroupingNamedByItsTitle) {
    Panel p;
    p.setTitleText(QStringLiteral("信息显示"));
    EXPECT_EQ(a11y(p)->role(), QAccessible::Grouping);
    EXPECT_EQ(name_of(p), QStringLiteral("信息显示"));
}

// ---- notifications ----------------------------------------------------------------------

struct Seen {
    QAccessible::Event type;
    QObject* object;
    QVariant value;
    bool checkedChanged;
};

std::vector<Seen>* g_seen = nullptr;

void record(QAccessibleEvent* e) {
    if (!g_seen) return;
    Seen s{e->type(), e->object(), {}, false};
    if (e->type() == QAccessible::ValueChanged)
        s.value = static_cast<QAccessibleValueChangeEvent*>(e)->value();
    if (e->type() == QAccessible::StateChanged)
        s.checkedChanged = static_cast<QAccessibleStateChangeEvent*>(e)->changedStates().checked;
    g_seen->push_back(s);
}

class AccessibleEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        install_widget_accessibility();
        g_seen = &seen;
        previous = accessible_events::set_sink(record);
    }
    void TearDown() override {
        accessible_events::set_sink(previous);
        g_seen = nullptr;
    }
    int count(QObject* o, QAccessible::Event type) {
        int n = 0;
        for (const Seen& s : seen)
            if (s.object == o && s.type == type) ++n;
        return n;
    }
    const Seen* last(QObject* o, QAccessible::Event type) {
        for (auto it = seen.rbegin(); it != seen.rend(); ++it)
            if (it->object == o && it->type == type) return &*it;
        return nullptr;
    }
    std::vector<Seen> seen;
    accessible_events::Sink previous = nullptr;
};

TEST_F(AccessibleEvents, LampsAndSwitchTellStateChangesOnlyOnChange) {
    LedRectangle lamp;
    SwitchLed sw;
    lamp.setActive(true);
    lamp.setActive(true);
    sw.setActive(true);
    sw.setActive(true);
    ASSERT_EQ(count(&lamp, QAccessible::StateChanged), 1);
    EXPECT_TRUE(last(&lamp, QAccessible::StateChanged)->checkedChanged);
    ASSERT_EQ(count(&sw, QAccessible::StateChanged), 1);
    EXPECT_TRUE(last(&sw, QAccessible::StateChanged)->checkedChanged);
    sw.setActive(false);
    EXPECT_EQ(count(&sw, QAccessible::StateChanged), 2);
}

TEST_F(AccessibleEvents, GaugesTellValueChangesOfWhatTheyShow) {
    Compass c;
    c.setDirection(-90);
    ASSERT_EQ(count(&c, QAccessible::ValueChanged), 1);
    EXPECT_DOUBLE_EQ(last(&c, QAccessible::ValueChanged)->value.toDouble(), 270);
    c.setDirection(270); // same heading
    EXPECT_EQ(count(&c, QAccessible::ValueChanged), 1);

    LedBar bar;
    bar.setPosition(100);
    bar.setPosition(250);
    bar.setPosition(300); // still shows 200
    ASSERT_EQ(count(&bar, QAccessible::ValueChanged), 2);
    EXPECT_DOUBLE_EQ(last(&bar, QAccessible::ValueChanged)->value.toDouble(), 200);

    Thermometer t;
    t.setPosition(21.5);
    ASSERT_EQ(count(&t, QAccessible::ValueChanged), 1);
    EXPECT_DOUBLE_EQ(last(&t, QAccessible::ValueChanged)->value.toDouble(), 21.5);

    TextLabel l;
    l.setCaption(QStringLiteral("25C"));
    l.setCaption(QStringLiteral("25C"));
    EXPECT_EQ(count(&l, QAccessible::NameChanged), 1);
}

TEST(AccessibleEventsDefault, NothingIsSentWhileNoClientListens) {
    // No sink and no accessibility client (the offscreen platform has none): the widgets
    // build no events and Qt's update handler hears nothing.
    std::vector<Seen> seen;
    g_seen = &seen;
    const QAccessible::UpdateHandler before = QAccessible::installUpdateHandler(record);
    ASSERT_FALSE(QAccessible::isActive());
    EXPECT_FALSE(accessible_events::wanted());
    Compass c;
    LedRectangle lamp;
    c.setDirection(45);
    lamp.setActive(true);
    QAccessible::installUpdateHandler(before);
    g_seen = nullptr;
    EXPECT_TRUE(seen.empty());
}

} // namespace
