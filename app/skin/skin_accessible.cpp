// The accessible interfaces of the skinned controls.
#include "skin_accessible.h"

#include "CSkinButton.h"
#include "CSkinLamp.h"
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// A control whose name is its tooltip (or a name set for it) and whose value is its own text.
class SkinControl : public QAccessibleWidget {
public:
    SkinControl(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name: {
            QString name = widget()->accessibleName();
            if (name.isEmpty())
                name = widget()->toolTip();
            if (name.isEmpty())
                name = value();
            return name;
        }
        case QAccessible::Value:
            return value();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (qobject_cast<CSkinButton*>(widget()))
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            if (auto* button = qobject_cast<CSkinButton*>(widget()))
                button->Click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QString value() const
    {
        QWidget* w = widget();
        if (auto* meter = qobject_cast<CSkinMeter*>(w))
            return QStringLiteral("%1 %").arg(meter->ShownLevel() * 100 / CSkinMeter::kSegments);
        if (auto* time = qobject_cast<CSkinTimeDisplay*>(w))
            return CSkinTimeDisplay::TextFor(time->Value());
        if (auto* label = qobject_cast<CSkinTextDisplay*>(w))
            return label->Text().split(QLatin1Char('|')).join(QStringLiteral(", "));
        if (auto* slider = qobject_cast<CSkinSlider*>(w))
            return QString::number(slider->GetValue());
        if (auto* lamp = qobject_cast<CSkinLamp*>(w))
            return lamp->Lit() ? QStringLiteral("lit") : QStringLiteral("off");
        return {};
    }
};

QAccessibleInterface* skinFactory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("CSkinButton"))
        return new SkinControl(widget, QAccessible::Button);
    if (className == QLatin1String("CSkinMeter"))
        return new SkinControl(widget, QAccessible::ProgressBar);
    if (className == QLatin1String("CSkinTimeDisplay") ||
        className == QLatin1String("CSkinTextDisplay"))
        return new SkinControl(widget, QAccessible::StaticText);
    if (className == QLatin1String("CSkinSlider"))
        return new SkinControl(widget, QAccessible::Slider);
    if (className == QLatin1String("CSkinLamp"))
        return new SkinControl(widget, QAccessible::Indicator);
    const QVariant role = widget->property("skinRole");
    if (role.isValid())
        return new SkinControl(widget, static_cast<QAccessible::Role>(role.toInt()));
    return nullptr;
}

} // namespace

namespace skin {

void installAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(skinFactory);
}

} // namespace skin
