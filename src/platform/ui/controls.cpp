// Controls: their kinds, how operator input on them becomes events, their values and attributes,
// and text messages created at run time.
#include "controls.h"

#include "widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <utility>
#include <vector>

namespace korva {

namespace ui {

namespace {

// ---- rings ------------------------------------------------------------------------------------
//
// Every item of a ring carries its value. A value that no item has is shown as an extra item
// labelled with the number, at the end of the list; it disappears as soon as the ring is set to
// one of its own values again.

constexpr int kValueRole = Qt::UserRole;
constexpr int kUnlistedRole = Qt::UserRole + 1;

// Item values from the ring's "itemValues" property ("1,2,3"), otherwise the item indexes.
bool AssignRingValues(QComboBox* ring)
{
    const QString listed = ring->property("itemValues").toString();
    const QStringList values = listed.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (!listed.isEmpty() && values.size() != ring->count())
        return false;
    for (int i = 0; i < ring->count(); ++i) {
        bool ok = true;
        const int value = listed.isEmpty() ? i : values[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
        ring->setItemData(i, value, kValueRole);
    }
    return true;
}

int UnlistedItem(const QComboBox* ring)
{
    return ring->findData(true, kUnlistedRole);
}

// Removes the extra item unless it is the one shown.
void DropUnlistedItem(QComboBox* ring)
{
    const int extra = UnlistedItem(ring);
    if (extra >= 0 && extra != ring->currentIndex())
        ring->removeItem(extra);
}

void SetRingValue(QComboBox* ring, int value)
{
    int index = ring->findData(value, kValueRole);
    if (index < 0) {
        index = UnlistedItem(ring);
        if (index < 0) {
            ring->addItem(QString());
            index = ring->count() - 1;
            ring->setItemData(index, true, kUnlistedRole);
        }
        ring->setItemText(index, QString::number(value));
        ring->setItemData(index, value, kValueRole);
    }
    ring->setCurrentIndex(index);
    DropUnlistedItem(ring);
}

// An item label the program sets is shortened in the middle to at most about this many
// characters; the whole label is the item's tooltip. A ring is as wide as its longest label and
// takes its panel window along, so an unbounded label (a device path) would widen the window
// and its backing store without end.
constexpr int kRingLabelChars = 48;

void SetRingItemLabel(QComboBox* ring, int index, const QString& label)
{
    const QFontMetrics metrics = ring->fontMetrics();
    ring->setItemText(index, metrics.elidedText(label, Qt::ElideMiddle, metrics.averageCharWidth() * kRingLabelChars));
    ring->setItemData(index, label, Qt::ToolTipRole);
}

int RingValue(const QComboBox* ring, int* value)
{
    if (ring->currentIndex() < 0)
        return UIE_BAD_ARGUMENT;
    *value = ring->currentData(kValueRole).toInt();
    return 0;
}

// ---- operator input -----------------------------------------------------------------------------

// Watches the mouse on a control and inside it. A real left press raises a left click. The
// release that ends a click on a command button raises the commit even when the press's callback
// dimmed the button meanwhile (Qt itself would drop that release).
class PressWatcher : public QObject {
public:
    PressWatcher(int panel, int control, QWidget* widget) : QObject(widget), m_panel(panel), m_control(control)
    {
        widget->installEventFilter(this);
        for (QWidget* inner : widget->findChildren<QWidget*>()) {
            if (inner->window() == widget->window())
                inner->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
        // Qt passes a press that a widget ignores on to its parent as a new, non-spontaneous
        // event; only the original one counts.
        if ((!press && type != QEvent::MouseButtonRelease) || !event->spontaneous())
            return false;
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        if (press)
            pressed();
        else
            released(watched, mouse->position().toPoint());
        return false;
    }

private:
    QWidget* control() const { return static_cast<QWidget*>(parent()); }

    void pressed()
    {
        m_clickStarted = control()->isEnabled();
        RaiseEvent(m_panel, m_control, EVENT_LEFT_CLICK);
    }

    void released(QObject* watched, QPoint position)
    {
        const bool clickStarted = std::exchange(m_clickStarted, false);
        const auto* button = qobject_cast<QPushButton*>(watched);
        // A button that is still down finishes the click itself (clicked()).
        if (clickStarted && button != nullptr && !button->isDown() && button->rect().contains(position))
            RaiseEventEvenIfDimmed(m_panel, m_control, EVENT_COMMIT);
    }

    int m_panel;
    int m_control;
    bool m_clickStarted = false;
};

// A slot that raises the given events of one control, in this order.
auto Raiser(int panel, int control, std::initializer_list<int> events)
{
    return [panel, control, list = std::vector<int>(events)] {
        for (int event : list)
            RaiseEvent(panel, control, event);
    };
}

void WireButton(QPushButton* button, int panel, int id)
{
    button->setAutoDefault(true);  // Enter activates a focused button, as Space does
    QObject::connect(button, &QAbstractButton::clicked, button, Raiser(panel, id, {EVENT_COMMIT}));
}

void WireToggle(QAbstractButton* toggle, int panel, int id)
{
    toggle->setAutoExclusive(false);  // the program keeps its radio groups itself
    QObject::connect(toggle, &QAbstractButton::clicked, toggle, Raiser(panel, id, {EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

void WireNumeric(KorvaSpinBox* numeric, int panel, int id)
{
    QObject::connect(numeric, &KorvaSpinBox::changed, numeric, Raiser(panel, id, {EVENT_VAL_CHANGED}));
    QObject::connect(numeric, &KorvaSpinBox::committed, numeric, Raiser(panel, id, {EVENT_COMMIT}));
}

void WireRing(QComboBox* ring, int panel, int id)
{
    // currentIndexChanged comes first and only for a new item; activated follows every choice.
    QObject::connect(ring, &QComboBox::currentIndexChanged, ring, Raiser(panel, id, {EVENT_VAL_CHANGED}));
    QObject::connect(ring, &QComboBox::activated, ring, [ring, panel, id] {
        {
            ProgramChange tidying;
            DropUnlistedItem(ring);
        }
        RaiseEvent(panel, id, EVENT_COMMIT);
    });
}

// While the handle is dragged every value is a change and the release commits; a step by key,
// wheel or a click beside the handle is a change and a commit at once.
void WireSlider(QSlider* slider, int panel, int id)
{
    QObject::connect(slider, &QSlider::valueChanged, slider, [slider, panel, id] {
        RaiseEvent(panel, id, EVENT_VAL_CHANGED);
        if (!slider->isSliderDown())
            RaiseEvent(panel, id, EVENT_COMMIT);
    });
    QObject::connect(slider, &QSlider::sliderReleased, slider, Raiser(panel, id, {EVENT_COMMIT}));
}

void WireTimer(KorvaTimer* timer, int panel, int id)
{
    QObject::connect(timer, &KorvaTimer::tick, timer,
                     [panel, id] { RaiseEventEvenIfDimmed(panel, id, EVENT_TIMER_TICK); });
}

// ---- values -------------------------------------------------------------------------------------

int ReadNumber(const Control& c, int* value)
{
    QWidget* w = c.widget;
    switch (c.kind) {
    case Kind::Numeric:
        *value = static_cast<KorvaSpinBox*>(w)->shownValue();
        return 0;
    case Kind::Ring:
        return RingValue(static_cast<QComboBox*>(w), value);
    case Kind::Slide:
        *value = static_cast<QSlider*>(w)->value();
        return 0;
    case Kind::NumSlide:
        *value = static_cast<KorvaNumSlide*>(w)->value();
        return 0;
    case Kind::Toggle:
    case Kind::Lamp:
        *value = static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
        return 0;
    default:
        return UIE_WRONG_KIND;
    }
}

int WriteNumber(const Control& c, int value)
{
    QWidget* w = c.widget;
    const ProgramChange fromProgram;
    switch (c.kind) {
    case Kind::Numeric:
        static_cast<KorvaSpinBox*>(w)->setProgramValue(value);
        return 0;
    case Kind::Ring:
        SetRingValue(static_cast<QComboBox*>(w), value);
        return 0;
    case Kind::Slide:
        static_cast<QSlider*>(w)->setValue(value);
        return 0;
    case Kind::NumSlide:
        static_cast<KorvaNumSlide*>(w)->setValue(value);
        return 0;
    case Kind::Toggle:
    case Kind::Lamp:
        static_cast<QAbstractButton*>(w)->setChecked(value != 0);
        return 0;
    default:
        return UIE_WRONG_KIND;
    }
}

// A text control created at run time keeps exactly the size of its text.
void FitToText(const Control& c)
{
    if (c.sizedToText)
        c.widget->adjustSize();
}

int ReadText(const Control& c, std::string* text)
{
    QString value;
    if (c.kind == Kind::Text)
        value = static_cast<QLabel*>(c.widget.data())->text();
    else if (c.kind == Kind::Button)
        value = static_cast<QPushButton*>(c.widget.data())->text();
    else
        return UIE_WRONG_KIND;
    *text = value.toStdString();
    return 0;
}

int WriteText(const Control& c, const QString& text)
{
    if (c.kind == Kind::Text) {
        auto* label = static_cast<QLabel*>(c.widget.data());
        label->setText(text);
        label->setAccessibleName(text);  // screen readers announce the current message
        FitToText(c);
        return 0;
    }
    if (c.kind == Kind::Button) {
        static_cast<QPushButton*>(c.widget.data())->setText(text);
        return 0;
    }
    return UIE_WRONG_KIND;
}

// ---- attributes ---------------------------------------------------------------------------------

void ApplyTextStyle(const Control& c)
{
    const TextStyle& style = c.style;
    QStringList rules;
    if (style.color)
        rules << QStringLiteral("color: %1").arg(ColorFromRgb(*style.color).name());
    if (style.background)
        rules << QStringLiteral("background-color: %1").arg(ColorFromRgb(*style.background).name());
    if (!style.family.isEmpty())
        rules << QStringLiteral("font-family: \"%1\"").arg(style.family);
    if (style.pointSize)
        rules << QStringLiteral("font-size: %1px").arg(*style.pointSize);
    c.widget->setStyleSheet(style.baseStyleSheet + QStringLiteral("\n* { %1 }").arg(rules.join(QStringLiteral("; "))));
    FitToText(c);
}

int SetTimerActive(int panel, const Control& c, bool active)
{
    if (c.kind != Kind::Timer)
        return UIE_WRONG_KIND;
    static_cast<KorvaTimer*>(c.widget.data())->setActive(active);
    // A tick that fired before the switch-off but is not delivered yet must not arrive afterwards.
    if (!active)
        DropPendingEvents(panel, c.id);
    return 0;
}

int SetTextStyle(Control& c, int attribute, int value)
{
    switch (attribute) {
    case ATTR_TEXT_COLOR:
        c.style.color = value;
        break;
    case ATTR_TEXT_BGCOLOR:
        c.style.background = value;
        break;
    default:  // ATTR_TEXT_POINT_SIZE
        if (value <= 0)
            return UIE_BAD_ARGUMENT;
        c.style.pointSize = value;
        break;
    }
    ApplyTextStyle(c);
    return 0;
}

// The caption of a button, radio button or switch; for other controls the label whose buddy
// the control is.
int SetLabelText(const Control& c, const QString& text)
{
    if (auto* button = qobject_cast<QAbstractButton*>(c.widget); button != nullptr && c.kind != Kind::Lamp) {
        button->setText(text);
        return 0;
    }
    for (QLabel* label : c.widget->window()->findChildren<QLabel*>()) {
        if (label->buddy() == c.widget) {
            label->setText(text);
            return 0;
        }
    }
    return UIE_WRONG_KIND;
}

int ReadColor(const Control& c, QPalette::ColorRole role, int* value)
{
    c.widget->ensurePolished();
    *value = RgbOfColor(c.widget->palette().color(role));
    return 0;
}

GraphKind s_graphKind;

}  // namespace

void InstallGraphKind(const GraphKind& kind)
{
    s_graphKind = kind;
}

const GraphKind& InstalledGraphKind()
{
    return s_graphKind;
}

std::optional<Kind> KindOfWidget(const QWidget* widget)
{
    if (qobject_cast<const KorvaLamp*>(widget) != nullptr)
        return Kind::Lamp;
    // A checkable push button is a toggle button: on or off, like a switch.
    if (const auto* button = qobject_cast<const QPushButton*>(widget))
        return button->isCheckable() ? Kind::Toggle : Kind::Button;
    if (qobject_cast<const QRadioButton*>(widget) != nullptr || qobject_cast<const QCheckBox*>(widget) != nullptr)
        return Kind::Toggle;
    if (qobject_cast<const KorvaSpinBox*>(widget) != nullptr)
        return Kind::Numeric;
    if (qobject_cast<const QComboBox*>(widget) != nullptr)
        return Kind::Ring;
    if (qobject_cast<const QSlider*>(widget) != nullptr)
        return Kind::Slide;
    if (qobject_cast<const KorvaNumSlide*>(widget) != nullptr)
        return Kind::NumSlide;
    if (qobject_cast<const QLabel*>(widget) != nullptr)
        return Kind::Text;
    if (s_graphKind.recognise != nullptr && s_graphKind.recognise(widget))
        return Kind::Graph;
    if (qobject_cast<const KorvaTimer*>(widget) != nullptr)
        return Kind::Timer;
    return std::nullopt;
}

bool PrepareControl(const Control& c)
{
    return c.kind != Kind::Ring || AssignRingValues(static_cast<QComboBox*>(c.widget.data()));
}

void WireControl(int panel, const Control& c)
{
    QWidget* w = c.widget;
    new PressWatcher(panel, c.id, w);
    switch (c.kind) {
    case Kind::Button:
        WireButton(static_cast<QPushButton*>(w), panel, c.id);
        break;
    case Kind::Toggle:
        WireToggle(static_cast<QAbstractButton*>(w), panel, c.id);
        break;
    case Kind::Numeric:
        WireNumeric(static_cast<KorvaSpinBox*>(w), panel, c.id);
        break;
    case Kind::Ring:
        WireRing(static_cast<QComboBox*>(w), panel, c.id);
        break;
    case Kind::Slide:
        WireSlider(static_cast<QSlider*>(w), panel, c.id);
        break;
    case Kind::NumSlide:
        WireSlider(static_cast<KorvaNumSlide*>(w)->slider(), panel, c.id);
        break;
    case Kind::Timer:
        WireTimer(static_cast<KorvaTimer*>(w), panel, c.id);
        break;
    case Kind::Lamp:
    case Kind::Text:
    case Kind::Graph:
        break;
    }
}

}  // namespace ui

using ui::Control;
using ui::WithControl;

int SetCtrlVal(int panel, int control, int value)
{
    return WithControl(panel, control, [&](const Control& c) -> int { return ui::WriteNumber(c, value); });
}

int SetCtrlVal(int panel, int control, const char* text)
{
    return WithControl(panel, control,
                       [&](const Control& c) -> int { return ui::WriteText(c, QString::fromUtf8(text)); });
}

int GetCtrlVal(int panel, int control, int* value)
{
    return WithControl(panel, control, [&](const Control& c) -> int { return ui::ReadNumber(c, value); });
}

int GetCtrlVal(int panel, int control, unsigned short* value)
{
    int number = 0;
    const int result = GetCtrlVal(panel, control, &number);
    if (result == 0)
        *value = static_cast<unsigned short>(number);
    return result;
}

int GetCtrlVal(int panel, int control, std::string* text)
{
    return WithControl(panel, control, [&](const Control& c) -> int { return ui::ReadText(c, text); });
}

int SetCtrlAttribute(int panel, int control, int attribute, int value)
{
    return WithControl(panel, control, [&](Control& c) -> int {
        switch (attribute) {
        case ATTR_DIMMED:
            c.widget->setEnabled(value == 0);
            return 0;
        case ATTR_VISIBLE:
            c.widget->setVisible(value != 0);
            return 0;
        case ATTR_ENABLED:
            return ui::SetTimerActive(panel, c, value != 0);
        case ATTR_TEXT_COLOR:
        case ATTR_TEXT_BGCOLOR:
        case ATTR_TEXT_POINT_SIZE:
            return ui::SetTextStyle(c, attribute, value);
        case ATTR_LEFT:
            c.widget->move(value, c.widget->y());
            return 0;
        default:
            return UIE_BAD_ARGUMENT;
        }
    });
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* text)
{
    const QString value = QString::fromUtf8(text);
    return WithControl(panel, control, [&](Control& c) -> int {
        switch (attribute) {
        case ATTR_TEXT_FONT:
            c.style.family = value.isEmpty() ? QApplication::font().family() : value;
            ui::ApplyTextStyle(c);
            return 0;
        case ATTR_TOOLTIP:
            c.widget->setToolTip(value);
            return 0;
        case ATTR_LABEL_TEXT:
            return ui::SetLabelText(c, value);
        default:
            return UIE_BAD_ARGUMENT;
        }
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value)
{
    return WithControl(panel, control, [&](const Control& c) -> int {
        switch (attribute) {
        case ATTR_DIMMED:
            *value = c.widget->testAttribute(Qt::WA_ForceDisabled) ? 1 : 0;
            return 0;
        case ATTR_VISIBLE:
            *value = c.widget->isHidden() ? 0 : 1;
            return 0;
        case ATTR_ENABLED:
            if (c.kind != ui::Kind::Timer)
                return UIE_WRONG_KIND;
            *value = static_cast<KorvaTimer*>(c.widget.data())->isActive() ? 1 : 0;
            return 0;
        case ATTR_TEXT_COLOR:
            return ui::ReadColor(c, c.widget->foregroundRole(), value);
        case ATTR_TEXT_BGCOLOR:
            return ui::ReadColor(c, c.widget->backgroundRole(), value);
        case ATTR_TEXT_POINT_SIZE:
            c.widget->ensurePolished();
            *value = c.widget->font().pixelSize() > 0 ? c.widget->font().pixelSize() : c.widget->font().pointSize();
            return 0;
        case ATTR_LEFT:
            *value = c.widget->x();
            return 0;
        case ATTR_WIDTH:
            *value = c.widget->width();
            return 0;
        default:
            return UIE_BAD_ARGUMENT;
        }
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, std::string* text)
{
    return WithControl(panel, control, [&](const Control& c) -> int {
        if (attribute != ATTR_TOOLTIP)
            return UIE_BAD_ARGUMENT;
        *text = c.widget->toolTip().toStdString();
        return 0;
    });
}

int SetRingItemLabel(int panel, int control, int value, const char* label)
{
    return WithControl(panel, control, [&](const Control& c) -> int {
        if (c.kind != ui::Kind::Ring)
            return UIE_WRONG_KIND;
        auto* ring = static_cast<QComboBox*>(c.widget.data());
        const int index = ring->findData(value, ui::kValueRole);
        if (index < 0)
            return UIE_BAD_ARGUMENT;
        ui::SetRingItemLabel(ring, index, QString::fromUtf8(label));
        return 0;
    });
}

int SetRingLabeler(int panel, int control, RingLabeler labeler)
{
    return WithControl(panel, control, [&](const Control& c) -> int {
        auto* ring = qobject_cast<KorvaRing*>(c.widget.data());
        if (ring == nullptr)
            return UIE_WRONG_KIND;
        const auto relabel = [ring, labeler] {
            for (int i = 0; i < ring->count(); ++i)
                if (!ring->itemData(i, ui::kUnlistedRole).toBool())
                    ui::SetRingItemLabel(ring, i, QString::fromStdString(labeler(ring->itemData(i, ui::kValueRole).toInt())));
        };
        relabel();
        ring->setRelabel(labeler != nullptr ? relabel : std::function<void()>());
        return 0;
    });
}

int NewCtrl(int panel, int kind, const char* label, int top, int left)
{
    ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr || p->widget == nullptr)
        return UIE_NO_PANEL;
    // Only label-less text messages: nothing in the program puts a label on one.
    if (kind != CTRL_TEXT_MSG || (label != nullptr && *label != '\0'))
        return UIE_BAD_ARGUMENT;

    auto* text = new QLabel(p->widget);
    text->move(left, top);
    text->raise();
    text->show();

    Control& c = p->controls[p->nextNewControlId];
    c.id = p->nextNewControlId++;
    c.kind = ui::Kind::Text;
    c.widget = text;
    c.sizedToText = true;
    text->setProperty("ctrlId", c.id);
    ui::FitToText(c);
    ui::WireControl(panel, c);
    return c.id;
}

}  // namespace korva
