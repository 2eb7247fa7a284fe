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

// Installed before any widget exists, as the program does: an interface made for a widget
// before the factory was installed would be kept for it.
[[maybe_unused]] const bool installed = (install_widget_accessibility(), true);

QAccessibleInterface* a11y(QWidget& w) {
    return QAccessible::queryAccessibleInterface(&w);
}

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
    const struct {
        QWidget* w;
        QAccessible::Role role;
        QString name;
    } cases[] = {{&rxd, QAccessible::Indicator, "RXD"},
                 {&sw, QAccessible::Button, "Connect AHRS"},
                 {&label, QAccessible::StaticText, "Temp"},
                 {&panel, QAccessible::Grouping, "信息显示"},
                 {&compass, QAccessible::Dial, "Compass"}};
    for (const auto& c : cases) {
        QAccessibleInterface* i = a11y(*c.w);
        ASSERT_NE(i, nullptr) << c.name.toStdString();
        EXPECT_EQ(i->role(), c.role) << c.name.toStdString();
        EXPECT_EQ(i->text(QAccessible::Name), c.name);
    }
    EXPECT_EQ(a11y(msg)->role(), QAccessible::Indicator);
    EXPECT_FALSE(a11y(msg)->text(QAccessible::Name).isEmpty()); // no label: still a name
    // Names follow caption changes; a name given by the program wins over the label.
    sw.setCaption(QStringLiteral("Port Close"));
    label.setCaption(QStringLiteral("25C"));
    rxd.setAccessibleName(QStringLiteral("Receive"));
    EXPECT_EQ(a11y(sw)->text(QAccessible::Name), QStringLiteral("Port Close"));
    EXPECT_EQ(a11y(label)->text(QAccessible::Name), QStringLiteral("25C"));
    EXPECT_EQ(a11y(rxd)->text(QAccessible::Name), QStringLiteral("Receive"));
}

TEST(Accessible, LampsAndSwitchAreCheckedWhileLit) {
    LedRectangle lamp;
    SwitchLed sw;
    for (QWidget* w : std::initializer_list<QWidget*>{&lamp, &sw}) {
        QAccessibleInterface* i = a11y(*w);
        EXPECT_TRUE(i->state().checkable);
        EXPECT_FALSE(i->state().checked);
        EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("off"));
    }
    lamp.setActive(true);
    sw.setActive(true);
    for (QWidget* w : std::initializer_list<QWidget*>{&lamp, &sw}) {
        EXPECT_TRUE(a11y(*w)->state().checked);
        EXPECT_EQ(a11y(*w)->text(QAccessible::Value), QStringLiteral("on"));
    }
    EXPECT_EQ(a11y(lamp)->text(QAccessible::Description), QStringLiteral("on"));
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

TEST(Accessible, CompassTellsItsHeadingAndCannotBeTurned) {
    Compass c;
    QAccessibleValueInterface* v = a11y(c)->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->minimumValue().toDouble(), 0);
    EXPECT_EQ(v->maximumValue().toDouble(), 360);
    c.setDirection(-90);
    EXPECT_DOUBLE_EQ(v->currentValue().toDouble(), 270);
    EXPECT_TRUE(a11y(c)->text(QAccessible::Value).startsWith(QStringLiteral("270")));
    v->setCurrentValue(10.0); // driven by the program only
    EXPECT_DOUBLE_EQ(c.Direction(), -90);
    c.setDirection(kNaN);
    EXPECT_FALSE(v->currentValue().isValid());
    EXPECT_FALSE(a11y(c)->text(QAccessible::Value).isEmpty());
}

TEST(Accessible, BarAndThermometerReportTheLevelShownAndTheReading) {
    LedBar bar;
    Thermometer t;
    QAccessibleValueInterface* bv = a11y(bar)->valueInterface();
    QAccessibleValueInterface* tv = a11y(t)->valueInterface();
    ASSERT_TRUE(bv && tv);
    EXPECT_EQ(a11y(bar)->role(), QAccessible::ProgressBar);
    EXPECT_EQ(a11y(t)->role(), QAccessible::ProgressBar);
    EXPECT_FALSE(a11y(t)->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(bv->maximumValue().toDouble(), 200);
    EXPECT_EQ(tv->maximumValue().toDouble(), 50);
    bar.setPosition(123.5);
    EXPECT_DOUBLE_EQ(bv->currentValue().toDouble(), 123.5);
    bar.setPosition(250); // the level shown is clipped; the reading itself is still told
    EXPECT_DOUBLE_EQ(bv->currentValue().toDouble(), 200);
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
