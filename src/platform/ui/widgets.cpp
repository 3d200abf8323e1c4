#include "widgets.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadialGradient>
#include <QRawFont>
#include <QSlider>
#include <QStyleOptionSpinBox>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace korva {

namespace {

// What shows behind a widget where it paints nothing: its parent's background.
QBrush BackgroundBehind(const QWidget* widget)
{
    const QWidget* behind = widget->parentWidget() != nullptr ? widget->parentWidget() : widget;
    return behind->palette().brush(behind->backgroundRole());
}

}  // namespace

// ---- KorvaLamp ------------------------------------------------------------------------------

KorvaLamp::KorvaLamp(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KorvaLamp::setOnColor(const QColor& color)
{
    m_onColor = color;
    update();
}

bool KorvaLamp::hitButton(const QPoint&) const
{
    return false;
}

void KorvaLamp::nextCheckState() {}

QSize KorvaLamp::sizeHint() const
{
    return {18, 18};
}

// Dimmed, every colour is faded halfway toward the panel's disabled background, as Qt's own
// controls look disabled.
QColor KorvaLamp::shown(const QColor& color) const
{
    if (isEnabled())
        return color;
    const QColor background = palette().color(QPalette::Disabled, QPalette::Window);
    return QColor::fromRgbF((color.redF() + background.redF()) / 2, (color.greenF() + background.greenF()) / 2,
                            (color.blueF() + background.blueF()) / 2);
}

void KorvaLamp::paintEvent(QPaintEvent*)
{
    const QColor body = isChecked() ? m_onColor : QColor(0x4a, 0x4d, 0x52);
    const qreal side = qMin(width(), height()) - 2.0;
    const QRectF bulb((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    // A soft highlight in the upper left makes the lamp read as a lamp, lit or not.
    QRadialGradient shine(bulb.center() - QPointF(side / 5.0, side / 5.0), side * 0.7);
    shine.setColorAt(0.0, shown(body.lighter(isChecked() ? 150 : 130)));
    shine.setColorAt(1.0, shown(body));

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(shown(body.darker(160)), 1.0));
    painter.setBrush(shine);
    painter.drawEllipse(bulb);
}

// ---- KorvaNumSlide --------------------------------------------------------------------------

namespace {

// What assistive technology and UI automation meet: a slider with the control's value, so the
// control that carries the panel file's name and description also carries the value.
class AccessibleNumSlide : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleNumSlide(KorvaNumSlide* slide) : QAccessibleWidget(slide, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return QString::number(slide()->value());
        return QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override { return slide()->value(); }
    QVariant maximumValue() const override { return slide()->maximum(); }
    QVariant minimumValue() const override { return slide()->minimum(); }
    QVariant minimumStepSize() const override { return slide()->singleStep(); }

    // Moves the slider as the operator would, so a dimmed control takes nothing.
    void setCurrentValue(const QVariant& value) override
    {
        if (slide()->isEnabled())
            slide()->slider()->setValue(value.toInt());
    }

private:
    KorvaNumSlide* slide() const { return static_cast<KorvaNumSlide*>(widget()); }
};

QAccessibleInterface* AccessibleNumSlideFactory(const QString& className, QObject* object)
{
    auto* slide = qobject_cast<KorvaNumSlide*>(object);
    if (slide == nullptr || className != QLatin1String(KorvaNumSlide::staticMetaObject.className()))
        return nullptr;
    return new AccessibleNumSlide(slide);
}

}  // namespace

KorvaNumSlide::KorvaNumSlide(QWidget* parent)
    : QWidget(parent),
      m_slider(new QSlider(Qt::Horizontal, this)),
      m_number(new QLabel(this)),
      m_layout(new QBoxLayout(QBoxLayout::LeftToRight, this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->addWidget(m_slider, 1);
    m_layout->addWidget(m_number);
    m_number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFocusProxy(m_slider);
    // Installed once, before assistive technology can ask for the first slide's interface.
    static const bool accessible = (QAccessible::installFactory(AccessibleNumSlideFactory), true);
    Q_UNUSED(accessible);
    connect(m_slider, &QSlider::valueChanged, this, &KorvaNumSlide::showNumber);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        QAccessibleValueChangeEvent change(this, value);
        QAccessible::updateAccessibility(&change);
    });
    fitNumberWidth();
    showNumber();
}

int KorvaNumSlide::minimum() const
{
    return m_slider->minimum();
}

int KorvaNumSlide::maximum() const
{
    return m_slider->maximum();
}

int KorvaNumSlide::value() const
{
    return m_slider->value();
}

int KorvaNumSlide::singleStep() const
{
    return m_slider->singleStep();
}

Qt::Orientation KorvaNumSlide::orientation() const
{
    return m_slider->orientation();
}

void KorvaNumSlide::setMinimum(int minimum)
{
    m_slider->setMinimum(minimum);
    fitNumberWidth();
}

void KorvaNumSlide::setMaximum(int maximum)
{
    m_slider->setMaximum(maximum);
    fitNumberWidth();
}

void KorvaNumSlide::setValue(int value)
{
    m_slider->setValue(value);
}

void KorvaNumSlide::setOrientation(Qt::Orientation orientation)
{
    m_slider->setOrientation(orientation);
    m_layout->setDirection(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

bool KorvaNumSlide::event(QEvent* event)
{
    // The panel file names the whole control; assistive technology meets the slider inside.
    if (event->type() == QEvent::Polish) {
        m_slider->setAccessibleName(accessibleName());
        m_slider->setAccessibleDescription(accessibleDescription());
    }
    return QWidget::event(event);
}

void KorvaNumSlide::showNumber()
{
    m_number->setNum(m_slider->value());
}

void KorvaNumSlide::fitNumberWidth()
{
    // Wide enough for the longest value, so the slider does not jump while it moves.
    const QFontMetrics metrics = m_number->fontMetrics();
    m_number->setMinimumWidth(qMax(metrics.horizontalAdvance(QString::number(m_slider->minimum())),
                                   metrics.horizontalAdvance(QString::number(m_slider->maximum()))));
}

// ---- KorvaTextLine --------------------------------------------------------------------------

KorvaTextLine::KorvaTextLine(QWidget* parent) : QLabel(parent), m_plainFlags(textInteractionFlags()) {}

void KorvaTextLine::takeHints() const
{
    if (m_hint.isValid())
        return;
    m_hint = QLabel::sizeHint();
    m_minimumHint = QLabel::minimumSizeHint();
}

QSize KorvaTextLine::sizeHint() const
{
    takeHints();
    return m_hint;
}

QSize KorvaTextLine::minimumSizeHint() const
{
    takeHints();
    return m_minimumHint;
}

// The colour of what the line lies on, once the style has set it: a filled background that is one
// opaque colour tells Qt that nothing beneath needs painting.
void KorvaTextLine::takeBackground()
{
    const QBrush brush = BackgroundBehind(this);
    const bool plain = brush.style() == Qt::SolidPattern && brush.isOpaque();
    if (plain) {
        QPalette own = palette();
        own.setBrush(backgroundRole(), brush);
        setPalette(own);
    }
    setAutoFillBackground(plain);
}

bool KorvaTextLine::event(QEvent* event)
{
    const bool done = QLabel::event(event);
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::StyleChange) {
        m_hint = QSize();
        updateGeometry();
    }
    if (type == QEvent::Polish || type == QEvent::StyleChange)
        takeBackground();
    return done;
}

// The press goes on to the label as a selectable one, so a drag selects and a right click offers
// Copy at once. The label takes the focus, as a click gives it to a selectable label.
void KorvaTextLine::mousePressEvent(QMouseEvent* event)
{
    setTextInteractionFlags(m_plainFlags | Qt::TextSelectableByMouse);
    setFocus(Qt::MouseFocusReason);
    QLabel::mousePressEvent(event);
}

// The label drops its selection when the focus goes elsewhere (not to its own context menu or
// another window); from then on it is plain again.
void KorvaTextLine::focusOutEvent(QFocusEvent* event)
{
    QLabel::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        setTextInteractionFlags(m_plainFlags);
}

// ---- KorvaTimer -----------------------------------------------------------------------------

KorvaTimer::KorvaTimer(QWidget* parent) : QWidget(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &KorvaTimer::tick);
    setVisible(false);
}

void KorvaTimer::setActive(bool active)
{
    if (active)
        m_timer.start();
    else
        m_timer.stop();
}

void KorvaTimer::setVisible(bool)
{
    QWidget::setVisible(false);
}

// ---- KorvaSpinBox ---------------------------------------------------------------------------

KorvaSpinBox::KorvaSpinBox(QWidget* parent) : QSpinBox(parent)
{
    m_signalledValue = value();
    connect(this, &QSpinBox::valueChanged, this, [this](int newValue) {
        if (newValue != std::exchange(m_signalledValue, newValue))
            emit changed();
    });
    lineEdit()->installEventFilter(this);
}

// A read-only box is a display the program sets many times a second. Giving a QSpinBox a value
// validates it, lays its text out, moves the cursor and signals all of it, about a third of what a
// record's drawing cost before. A display therefore draws its number itself, exactly where and how its
// text field would, and the spin box takes the value only when someone may look at it through Qt:
// assistive technology, the mouse or the focus in the field, or the box becoming editable. The
// program reads the value with shownValue().
void KorvaSpinBox::setProgramValue(int value)
{
    if (!isReadOnly()) {
        setValue(value);
        m_enteredValue = this->value();
        return;
    }
    value = std::clamp(value, minimum(), maximum());
    m_enteredValue = value;
    if (value == shownValue())
        return;
    m_displayValue = value;
    m_valuePending = true;
    if (QAccessible::isActive() || !drawsOwnText())
        takeShownValue();
    lineEdit()->update();
}

// The value was the program's, so taking it later is no change to report.
void KorvaSpinBox::takeShownValue()
{
    if (!std::exchange(m_valuePending, false))
        return;
    m_signalledValue = m_displayValue;
    setValue(m_displayValue);
}

// The text field shows nothing but the number: no prefix, suffix or special text, no selection, no
// focus.
bool KorvaSpinBox::drawsOwnText() const
{
    const QLineEdit* field = lineEdit();
    return isReadOnly() && prefix().isEmpty() && suffix().isEmpty() && specialValueText().isEmpty() &&
           !field->hasFocus() && !field->hasSelectedText() && field->layoutDirection() == Qt::LeftToRight;
}

namespace {

// The characters of a number that a display draws itself.
const QString kNumberCharacters = QStringLiteral("0123456789-+");
constexpr int kNumberCharacterCount = 12;

// How a font draws numbers when it draws their characters one after another, each as it draws it
// alone: one font, no kerning, no ligatures. Then a number's glyphs are looked up, not shaped.
struct NumberGlyphs {
    QFont font;
    bool usable = false;  // as above, and the ink of the characters within the font's height
    QRawFont rawFont;
    QPointF origin;  // where a line's first glyph lies, its baseline at the line's ascent
    qreal ascent = 0;
    std::array<quint32, kNumberCharacterCount> glyphs{};
    std::array<qreal, kNumberCharacterCount> advances{};
};

// Lays text out as a text field does, as one line; its glyphs if they come from one font.
QGlyphRun LaidOut(const QString& text, const QFont& font, qreal* width, qreal* ascent)
{
    QTextLayout layout(text, font);
    QTextOption option = layout.textOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    *width = line.naturalTextWidth();
    *ascent = line.ascent();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.size() == 1 ? runs.front() : QGlyphRun();
}

// The text field's line is as high as the font or as the ink of its text, whichever is higher. A
// number's ink lies within that of all number characters; when that fits in the font's height, so
// does every number's, and the line's height is the font's.
NumberGlyphs LookAtNumbers(const QFont& font)
{
    NumberGlyphs number;
    number.font = font;
    const QFontMetrics metrics(font);
    if (metrics.boundingRect(kNumberCharacters).height() > metrics.height())
        return number;
    qreal width = 0;
    qreal ascent = 0;
    for (int i = 0; i < kNumberCharacterCount; ++i) {
        const QGlyphRun alone = LaidOut(kNumberCharacters.sliced(i, 1), font, &width, &ascent);
        if (alone.glyphIndexes().size() != 1)
            return number;
        if (i == 0) {
            number.rawFont = alone.rawFont();
            number.origin = alone.positions().front();
            number.ascent = ascent;
        } else if (alone.rawFont() != number.rawFont || alone.positions().front() != number.origin ||
                   ascent != number.ascent) {
            return number;
        }
        number.glyphs[i] = alone.glyphIndexes().front();
        number.advances[i] = width;
    }
    for (int a = 0; a < kNumberCharacterCount; ++a)
        for (int b = 0; b < kNumberCharacterCount; ++b) {
            const QString pair = kNumberCharacters.sliced(a, 1) + kNumberCharacters.sliced(b, 1);
            const QGlyphRun both = LaidOut(pair, font, &width, &ascent);
            if (both.glyphIndexes() != QList<quint32>{number.glyphs[a], number.glyphs[b]} ||
                both.positions().back() != number.origin + QPointF(number.advances[a], 0) ||
                width != number.advances[a] + number.advances[b])
                return number;
        }
    number.usable = true;
    return number;
}

const NumberGlyphs& NumberGlyphsOf(const QFont& font)
{
    static std::vector<NumberGlyphs> looked;
    const auto found = std::find_if(looked.begin(), looked.end(), [&](const NumberGlyphs& n) { return n.font == font; });
    if (found != looked.end())
        return *found;
    looked.push_back(LookAtNumbers(font));
    return looked.back();
}

// The glyphs of a number laid out as the text field lays them out, and the width of the line; an
// empty run when the text holds other characters.
QGlyphRun NumberRun(const QString& text, const NumberGlyphs& number, qreal* width)
{
    QList<quint32> glyphs;
    QList<QPointF> positions;
    *width = 0;
    for (const QChar c : text) {
        const qsizetype i = kNumberCharacters.indexOf(c);
        if (i < 0)
            return {};
        glyphs.push_back(number.glyphs[i]);
        positions.push_back(number.origin + QPointF(*width, 0));
        *width += number.advances[i];
    }
    QGlyphRun run;
    run.setRawFont(number.rawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    return run;
}

// Where the text field puts the top left corner of a line `width` wide within `contents`: 2 pixels
// in from each side, aligned as the field aligns its text. Nothing when the line does not fit and
// the field would scroll it.
std::optional<QPoint> LinePlace(const QLineEdit* field, const QFontMetrics& metrics, const QRect& contents, qreal width)
{
    constexpr int kMargin = 2;
    const int room = contents.width() - 2 * kMargin;
    const int used = qRound(width) + 1;
    if (used > room)
        return std::nullopt;
    const Qt::Alignment alignment = field->alignment();
    const int height = metrics.height();
    QPoint place(contents.x() + kMargin, contents.y() + (contents.height() - height + 1) / 2);
    if ((alignment & Qt::AlignRight) != 0)
        place.rx() += room - used - 1;
    else if ((alignment & Qt::AlignHCenter) != 0)
        place.rx() -= (used - room) / 2;
    if ((alignment & Qt::AlignTop) != 0)
        place.ry() = contents.y() + 1;
    else if ((alignment & Qt::AlignBottom) != 0)
        place.ry() = contents.bottom() - height;
    return place;
}

}  // namespace

// Draws the shown number the way the text field draws its text: the field's panel, then the text
// clipped to the field's contents, in the field's text colour. False when the text field has to
// draw itself.
bool KorvaSpinBox::paintShownText()
{
    QLineEdit* field = lineEdit();
    const NumberGlyphs* number = drawsOwnText() ? &NumberGlyphsOf(field->font()) : nullptr;
    qreal width = 0;
    const QGlyphRun run = number != nullptr && number->usable
                              ? NumberRun(textFromValue(shownValue()), *number, &width)
                              : QGlyphRun();
    QStyleOptionFrame panel;
    panel.initFrom(field);
    panel.rect = field->contentsRect();
    panel.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, field) : 0;
    panel.midLineWidth = 0;
    panel.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
    const QRect contents =
        field->style()->subElementRect(QStyle::SE_LineEditContents, &panel, field).marginsRemoved(field->textMargins());
    const QFontMetrics metrics = field->fontMetrics();
    const std::optional<QPoint> place = run.isEmpty() ? std::nullopt : LinePlace(field, metrics, contents, width);
    if (!place) {
        takeShownValue();
        if (isReadOnly()) {
            QPainter painter(field);
            fillField(painter);
        }
        return false;
    }
    QPainter painter(field);
    fillField(painter);
    field->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, field);
    painter.setClipRect(contents);
    painter.setPen(field->palette().color(QPalette::Text));
    // The line's baseline lies at its ascent, rounded, below the line's top; the font's ascent is
    // already part of the place.
    const int baselineShift = qRound(number->ascent) - metrics.ascent();
    painter.drawGlyphRun(*place - QPoint(0, baselineShift), run);
    return true;
}

bool KorvaSpinBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit()) {
        switch (event->type()) {
        case QEvent::Paint:
            return paintShownText();
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
        case QEvent::FocusIn:
        case QEvent::KeyPress:
            takeShownValue();
            break;
        default:
            break;
        }
    }
    return QSpinBox::eventFilter(watched, event);
}

// A read-only spin box is a display the program updates many times a second. It and its text field
// paint every pixel they cover, so a new value repaints only the box, not the panel, group and
// frame beneath it. Polishing by a style sheet clears the attribute, so it is set again after.
void KorvaSpinBox::keepDisplayOpaque()
{
    setAttribute(Qt::WA_OpaquePaintEvent, isReadOnly());
    lineEdit()->setAttribute(Qt::WA_OpaquePaintEvent, isReadOnly());
}

// The display's text field fills itself with its background before anything is drawn on it, with
// the painter that draws the rest: what Qt would fill for it with a painter of its own.
void KorvaSpinBox::fillField(QPainter& painter) const
{
    const QLineEdit* field = lineEdit();
    painter.fillRect(field->rect(), field->palette().brush(field->backgroundRole()));
}

bool KorvaSpinBox::event(QEvent* event)
{
    if (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::FocusIn ||
        event->type() == QEvent::ContextMenu)
        takeShownValue();
    const bool done = QSpinBox::event(event);
    const QEvent::Type type = event->type();
    if (type == QEvent::Polish || type == QEvent::StyleChange || type == QEvent::ReadOnlyChange) {
        keepDisplayOpaque();
        m_frame = QPixmap();
    }
    return done;
}

// A display's frame does not change with its value: it is drawn once, on the parent's plain
// background that shows in its rounded corners, and then copied. The text field draws the value.
void KorvaSpinBox::paintEvent(QPaintEvent* event)
{
    if (!isReadOnly()) {
        QSpinBox::paintEvent(event);
        return;
    }
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const FrameKey key{size(), devicePixelRatio(), option.state, palette().cacheKey()};
    if (m_frame.isNull() || key != m_frameKey) {
        m_frame = QPixmap(size() * key.pixelRatio);
        m_frame.setDevicePixelRatio(key.pixelRatio);
        m_frame.fill(BackgroundBehind(this).color());
        QPainter painter(&m_frame);
        style()->drawComplexControl(QStyle::CC_SpinBox, &option, &painter, this);
        m_frameKey = key;
    }
    QPainter(this).drawPixmap(0, 0, m_frame);
}

void KorvaSpinBox::stepBy(int steps)
{
    const int before = value();
    QSpinBox::stepBy(steps);
    if (value() != before)
        commit();
}

void KorvaSpinBox::keyPressEvent(QKeyEvent* event)
{
    QSpinBox::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        commit();
}

void KorvaSpinBox::focusInEvent(QFocusEvent* event)
{
    m_enteredValue = value();
    QSpinBox::focusInEvent(event);
}

void KorvaSpinBox::focusOutEvent(QFocusEvent* event)
{
    QSpinBox::focusOutEvent(event);
    if (value() != m_enteredValue)
        commit();
}

void KorvaSpinBox::commit()
{
    m_enteredValue = value();
    emit committed();
}

// ---- KorvaRing ----

void KorvaRing::showPopup()
{
    if (m_relabel)
        m_relabel();
    QComboBox::showPopup();
}

}  // namespace korva
