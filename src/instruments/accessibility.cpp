// Accessibility interfaces of the instrument widgets: what a screen reader or a test driver
// sees through Qt's accessibility bus (AT-SPI on Linux).
#include "instruments/lamps.h"
#include "instruments/compass.h"
#include "instruments/gauges.h"
#include "instruments/panel.h"
#include "instruments/accessibility.h"

#include "instruments/accessible_events.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <cmath>
#include <mutex>

namespace zento {
namespace {

QString on_off(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString number_text(double v) {
    if (std::isnan(v)) return QStringLiteral("no value");
    return QString::number(v, 'g', 7);
}

// Lamps: an indicator that is "checked" while lit; value and description "on"/"off".
class LampAccessible : public QAccessibleWidget {
  public:
    explicit LampAccessible(Lamp* w) : QAccessibleWidget(w, QAccessible::Indicator) {}

    QString text(QAccessible::Text t) const override {
        const Lamp* lamp = static_cast<const Lamp*>(object());
        switch (t) {
        case QAccessible::Name: {
            if (!lamp->accessibleName().isEmpty()) return lamp->accessibleName();
            if (auto* r = qobject_cast<const LedRectangle*>(lamp); r && !r->label().isEmpty())
                return r->label();
            return QStringLiteral("Lamp");
        }
        case QAccessible::Value:
            return on_off(lamp->Active());
        case QAccessible::Description:
            if (!lamp->accessibleDescription().isEmpty()) return lamp->accessibleDescription();
            return on_off(lamp->Active());
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = static_cast<const Lamp*>(object())->Active();
        s.readOnly = true;
        return s;
    }
};

// The connect switch: a button named by its caption, checked while its lamp is lit.
class SwitchAccessible : public QAccessibleWidget {
  public:
    explicit SwitchAccessible(SwitchLed* w) : QAccessibleWidget(w, QAccessible::Button) {}

    SwitchLed* button() const { return static_cast<SwitchLed*>(object()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            if (!button()->accessibleName().isEmpty()) return button()->accessibleName();
            return button()->caption();
        case QAccessible::Value:
            return on_off(button()->Active());
        case QAccessible::Description:
            if (!button()->accessibleDescription().isEmpty())
                return button()->accessibleDescription();
            return QStringLiteral("lamp ") + on_off(button()->Active());
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->Active();
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (button()->isEnabled()) names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (name == pressAction()) {
            if (button()->isEnabled()) button()->click();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == pressAction()) return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }
};

// Read-only value interface shared by the gauges.
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    GaugeAccessible(QWidget* w, QAccessible::Role role, QString defaultName)
        : QAccessibleWidget(w, role), default_name_(std::move(defaultName)) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
            return default_name_;
        case QAccessible::Value:
            return valueText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

    void setCurrentValue(const QVariant&) override {} // driven by the program only
    QVariant minimumStepSize() const override { return 0.1; }

  protected:
    virtual QString valueText() const = 0;

  private:
    QString default_name_;
};

class CompassAccessible : public GaugeAccessible {
  public:
    explicit CompassAccessible(Compass* w)
        : GaugeAccessible(w, QAccessible::Dial, QStringLiteral("Compass")) {}
    const Compass* compass() const { return static_cast<const Compass*>(object()); }

    QVariant currentValue() const override {
        const double h = compass()->heading();
        return std::isnan(h) ? QVariant() : QVariant(h);
    }
    QVariant maximumValue() const override { return 360.0; }
    QVariant minimumValue() const override { return 0.0; }

  protected:
    QString valueText() const override {
        const double h = compass()->heading();
        if (std::isnan(h)) return QStringLiteral("no heading");
        return number_text(h) + QStringLiteral(" degrees");
    }
};

// Bar and thermometer: the level shown (clipped to the range); the value text carries the
// reading as set, which may lie outside the range.
template <class W> class LevelAccessible : public GaugeAccessible {
  public:
    LevelAccessible(W* w, QString defaultName)
        : GaugeAccessible(w, QAccessible::ProgressBar, std::move(defaultName)) {}
    const W* gauge() const { return static_cast<const W*>(object()); }

    QVariant currentValue() const override {
        const double v = gauge()->Position();
        if (std::isnan(v) || v <= gauge()->minimum()) return gauge()->minimum();
        if (v >= gauge()->maximum()) return gauge()->maximum();
        return v;
    }
    QVariant maximumValue() const override { return gauge()->maximum(); }
    QVariant minimumValue() const override { return gauge()->minimum(); }

  protected:
    QString valueText() const override { return number_text(gauge()->Position()); }
};

class TextLabelAccessible : public QAccessibleWidget {
  public:
    explicit TextLabelAccessible(TextLabel* w) : QAccessibleWidget(w, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const auto* l = static_cast<const TextLabel*>(object());
            if (!l->Caption().isEmpty()) return l->Caption();
            return l->accessibleName();
        }
        return QAccessibleWidget::text(t);
    }
};

class PanelAccessible : public QAccessibleWidget {
  public:
    explicit PanelAccessible(Panel* w) : QAccessibleWidget(w, QAccessible::Grouping) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const auto* p = static_cast<const Panel*>(object());
            if (!p->accessibleName().isEmpty()) return p->accessibleName();
            return p->TitleText();
        }
        return QAccessibleWidget::text(t);
    }
};

// Qt asks with each class name of the object's chain, most derived first; answering on our
// own class names lets subclasses of the widgets inherit their interface.
QAccessibleInterface* widget_factory(const QString& cls, QObject* o) {
    if (!o || !o->isWidgetType() || !cls.startsWith(QLatin1String("zento::"))) return nullptr;
    if (cls == QLatin1String("zento::Lamp")) return new LampAccessible(static_cast<Lamp*>(o));
    if (cls == QLatin1String("zento::SwitchLed"))
        return new SwitchAccessible(static_cast<SwitchLed*>(o));
    if (cls == QLatin1String("zento::Compass"))
        return new CompassAccessible(static_cast<Compass*>(o));
    if (cls == QLatin1String("zento::LedBar"))
        return new LevelAccessible<LedBar>(static_cast<LedBar*>(o), QStringLiteral("Level"));
    if (cls == QLatin1String("zento::Thermometer"))
        return new LevelAccessible<Thermometer>(static_cast<Thermometer*>(o),
                                                QStringLiteral("Thermometer"));
    if (cls == QLatin1String("zento::TextLabel"))
        return new TextLabelAccessible(static_cast<TextLabel*>(o));
    if (cls == QLatin1String("zento::Panel")) return new PanelAccessible(static_cast<Panel*>(o));
    // A window of our own made straight from QWidget (the 3D window, the health and port
    // settings windows) is a window (frame), as the main window is, named by its title; Qt
    // would announce it as a filler.
    if (auto* w = static_cast<QWidget*>(o);
        w->isWindow() && o->metaObject()->superClass() == &QWidget::staticMetaObject)
        return new QAccessibleWidget(w, QAccessible::Window);
    return nullptr;
}

} // namespace

namespace accessible_events {
namespace {
Sink g_sink = nullptr;
}

Sink set_sink(Sink sink) {
    const Sink previous = g_sink;
    g_sink = sink;
    return previous;
}

bool wanted() {
    return g_sink != nullptr || QAccessible::isActive();
}

void send(QAccessibleEvent* event) {
    if (g_sink) {
        g_sink(event);
        return;
    }
    if (QAccessible::isActive()) QAccessible::updateAccessibility(event);
}
} // namespace accessible_events

void install_widget_accessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(widget_factory); });
}

} // namespace zento
