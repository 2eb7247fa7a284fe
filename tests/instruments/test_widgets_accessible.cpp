// What assistive technology sees of the instrument widgets: role, name, state, value,
// the switch's press action, and the change notifications.
#include "instruments/lamps.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"
#include "instruments/panel.h"
#include "instruments/accessibility.h"

#include "instruments/accessible_events.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace zento;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Installed before any widget exists, as the program does: an interface made for a widget
// before the factory was installed would be kept for it.
[[maybe_unused]] const bool installed = (install_widget_accessibility(), true);

QAccessibleInterface* a11y(QWidget& w) {
    return QAccessible::queryAccessibleInterface(&w);
}

QString name(QWidget& w) {
    return a11y(w)->text(QAccessible::Name);
}

// Each widget gets its own interface (the factory matches the class or a base); names follow
// captions, and a name the program gives wins over the label.
TEST(Accessible, RolesAndNamesFollowCaptions) {
    install_widget_accessibility(); // a second installation changes nothing
    LedRectangle rxd;
    rxd.setLabel(QStringLiteral("RXD"));
    LedDiamond msg;
    SwitchLed sw;
    TextLabel label;
    Panel panel;
    panel.setTitleText(QStringLiteral("信息显示"));
    Compass compass;
    LedBar bar;
    const std::pair<QWidget*, QAccessible::Role> roles[] = {
        {&rxd, QAccessible::Indicator},  {&msg, QAccessible::Indicator},
        {&sw, QAccessible::Button},      {&label, QAccessible::StaticText},
        {&panel, QAccessible::Grouping}, {&compass, QAccessible::Dial},
        {&bar, QAccessible::ProgressBar}};
    for (const auto& [w, role] : roles) {
        ASSERT_NE(a11y(*w), nullptr) << w->metaObject()->className();
        EXPECT_EQ(a11y(*w)->role(), role) << w->metaObject()->className();
        EXPECT_FALSE(name(*w).isEmpty()) << w->metaObject()->className(); // no label: a name
    }
    EXPECT_EQ(name(rxd), QStringLiteral("RXD"));
    EXPECT_EQ(name(panel), QStringLiteral("信息显示"));
    sw.setCaption(QStringLiteral("Port Close"));
    label.setCaption(QStringLiteral("25C"));
    rxd.setAccessibleName(QStringLiteral("Receive"));
    EXPECT_EQ(name(sw), QStringLiteral("Port Close"));
    EXPECT_EQ(name(label), QStringLiteral("25C"));
    EXPECT_EQ(name(rxd), QStringLiteral("Receive"));
}

TEST(Accessible, LampsAndSwitchAreCheckedWhileLit) {
    LedRectangle lamp;
    SwitchLed sw;
    for (bool on : {false, true}) {
        lamp.setActive(on);
        sw.setActive(on);
        for (QWidget* w : std::initializer_list<QWidget*>{&lamp, &sw}) {
            EXPECT_TRUE(a11y(*w)->state().checkable);
            EXPECT_EQ(a11y(*w)->state().checked, on);
            EXPECT_EQ(a11y(*w)->text(QAccessible::Value), on ? "on" : "off");
        }
    }
}

TEST(Accessible, SwitchPressActionClicksItUnlessDisabled) {
    SwitchLed s;
    QSignalSpy clicked(&s, &QAbstractButton::clicked);
    QAccessibleActionInterface* act = a11y(s)->actionInterface();
    ASSERT_NE(act, nullptr);
    ASSERT_TRUE(act->actionNames().contains(QAccessibleActionInterface::pressAction()));
    act->doAction(QAccessibleActionInterface::pressAction());
    act->doAction(QStringLiteral("no such action"));
    EXPECT_EQ(clicked.count(), 1);
    s.setEnabled(false);
    EXPECT_FALSE(act->actionNames().contains(QAccessibleActionInterface::pressAction()));
    act->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicked.count(), 1);
}

// The gauges tell the reading; the level they report is what they show (clipped), and nothing
// can turn them from outside.
TEST(Accessible, GaugesTellTheirReadingAndTheLevelShown) {
    Compass c;
    LedBar bar;
    Thermometer t;
    QAccessibleValueInterface* cv = a11y(c)->valueInterface();
    QAccessibleValueInterface* bv = a11y(bar)->valueInterface();
    QAccessibleValueInterface* tv = a11y(t)->valueInterface();
    ASSERT_TRUE(cv && bv && tv);
    c.setDirection(-90);
    EXPECT_DOUBLE_EQ(cv->currentValue().toDouble(), 270);
    EXPECT_TRUE(a11y(c)->text(QAccessible::Value).startsWith(QStringLiteral("270")));
    cv->setCurrentValue(10.0); // driven by the program only
    EXPECT_DOUBLE_EQ(c.Direction(), -90);
    c.setDirection(kNaN);
    EXPECT_FALSE(cv->currentValue().isValid());
    EXPECT_FALSE(a11y(c)->text(QAccessible::Value).isEmpty());
    bar.setPosition(123.5);
    EXPECT_DOUBLE_EQ(bv->currentValue().toDouble(), 123.5);
    bar.setPosition(250); // the level shown is clipped; the reading itself is still told
    EXPECT_DOUBLE_EQ(bv->currentValue().toDouble(), bv->maximumValue().toDouble());
    EXPECT_EQ(a11y(bar)->text(QAccessible::Value), QStringLiteral("250"));
    bar.setPosition(kNaN);
    EXPECT_DOUBLE_EQ(bv->currentValue().toDouble(), 0);
    t.setPosition(-4.5);
    EXPECT_DOUBLE_EQ(tv->currentValue().toDouble(), 0);
    EXPECT_EQ(a11y(t)->text(QAccessible::Value), QStringLiteral("-4.5"));
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
        return int(std::count_if(seen.begin(), seen.end(),
                                 [&](const Seen& s) { return s.object == o && s.type == type; }));
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
    for (bool on : {true, true, false}) {
        lamp.setActive(on);
        sw.setActive(on);
    }
    for (QObject* o : std::initializer_list<QObject*>{&lamp, &sw}) {
        ASSERT_EQ(count(o, QAccessible::StateChanged), 2);
        EXPECT_TRUE(last(o, QAccessible::StateChanged)->checkedChanged);
    }
}

TEST_F(AccessibleEvents, GaugesTellValueChangesOfWhatTheyShow) {
    Compass c;
    c.setDirection(-90);
    c.setDirection(270); // same heading
    ASSERT_EQ(count(&c, QAccessible::ValueChanged), 1);
    EXPECT_DOUBLE_EQ(last(&c, QAccessible::ValueChanged)->value.toDouble(), 270);

    LedBar bar;
    for (double v : {100, 250, 300}) // 300 still shows 200
        bar.setPosition(v);
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

} // namespace
