// Widgets of the panel file that Qt does not provide ready-made: the lamp, the numeric slide and
// the timer control, and the spin box that the panel loader puts in place of every QSpinBox.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include <functional>

class QBoxLayout;
class QSlider;

namespace korva {

// A round indicator lamp: on (lit in onColor) or off (dark grey), faded while dimmed. It is a
// checkable button for assistive technology, but the operator cannot change it: no focus, no
// mouse, no keys.
class KorvaLamp : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QColor onColor READ onColor WRITE setOnColor)

public:
    explicit KorvaLamp(QWidget* parent = nullptr);

    QColor onColor() const { return m_onColor; }
    void setOnColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Only the program switches the lamp: clicks and keys neither press nor toggle it.
    bool hitButton(const QPoint& position) const override;
    void nextCheckState() override;

private:
    QColor shown(const QColor& color) const;

    QColor m_onColor{0x2e, 0xcc, 0x40};
};

// A slider whose value is also shown as a number beside it. For assistive technology the control
// itself is a slider with the value, under the name and description the panel file gives it.
class KorvaNumSlide : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(Qt::Orientation orientation READ orientation WRITE setOrientation)

public:
    explicit KorvaNumSlide(QWidget* parent = nullptr);

    int minimum() const;
    int maximum() const;
    int value() const;
    Qt::Orientation orientation() const;
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setValue(int value);
    void setOrientation(Qt::Orientation orientation);
    int singleStep() const;

    // The slider the operator moves.
    QSlider* slider() const { return m_slider; }

protected:
    bool event(QEvent* event) override;

private:
    void showNumber();
    void fitNumberWidth();

    QSlider* m_slider;
    QLabel* m_number;
    QBoxLayout* m_layout;
};

// A line of text that changes often, a running count for instance, and that the operator can
// select with the mouse. Its size follows its font and style, not its text: a new text repaints
// the line and moves nothing in the window. Until the mouse presses on it, it is a plain
// label: a label whose text can be selected lays its text out as a document, which costs several
// times as much to lay out and draw, and every new text would make the layout ask for that again.
// The size is that of the text it had when first asked. Where it lies on one plain colour, it fills
// itself with that colour, so that Qt repaints the line alone, not what lies beneath it.
class KorvaTextLine : public QLabel {
    Q_OBJECT

public:
    explicit KorvaTextLine(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void takeHints() const;
    void takeBackground();

    mutable QSize m_hint;
    mutable QSize m_minimumHint;
    Qt::TextInteractionFlags m_plainFlags;
};

// The timer control: never visible; while active it emits tick() every `interval` milliseconds.
class KorvaTimer : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int interval READ interval WRITE setInterval)
    Q_PROPERTY(bool active READ isActive WRITE setActive)

public:
    explicit KorvaTimer(QWidget* parent = nullptr);

    int interval() const { return m_timer.interval(); }
    void setInterval(int milliseconds) { m_timer.setInterval(milliseconds); }
    bool isActive() const { return m_timer.isActive(); }
    void setActive(bool active);

    void setVisible(bool visible) override;

signals:
    void tick();

private:
    QTimer m_timer;
};

// A spin box that tells when its value really changed (QSpinBox repeats valueChanged on Enter)
// and when its value is entered: Enter, leaving it with a changed value, or each step by arrow
// button, arrow key, page key or mouse wheel.
class KorvaSpinBox : public QSpinBox {
    Q_OBJECT

public:
    explicit KorvaSpinBox(QWidget* parent = nullptr);

    // Sets the value from the program: it is no entry, neither now nor when the focus leaves.
    void setProgramValue(int value);
    // The value the box shows; a read-only box shows a program value before the spin box takes it.
    int shownValue() const { return m_valuePending ? m_displayValue : value(); }
    void stepBy(int steps) override;

signals:
    void changed();
    void committed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void keepDisplayOpaque();
    void fillField(QPainter& painter) const;
    void commit();
    void takeShownValue();
    bool drawsOwnText() const;
    bool paintShownText();

    int m_signalledValue = 0;
    int m_enteredValue = 0;
    // A read-only box's frame as last drawn, and what it was drawn for.
    struct FrameKey {
        QSize size;
        qreal pixelRatio = 1;
        QStyle::State state;
        qint64 palette = 0;
        bool operator==(const FrameKey&) const = default;
    };
    QPixmap m_frame;
    FrameKey m_frameKey;
    int m_displayValue = 0;
    bool m_valuePending = false;  // m_displayValue is shown; the spin box has not taken it yet
};

// The ring of the panels: once given a relabelling, it names its items afresh each time its list
// opens (by mouse or keys), before the list is shown.
class KorvaRing : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void setRelabel(std::function<void()> relabel) { m_relabel = std::move(relabel); }
    void showPopup() override;

private:
    std::function<void()> m_relabel;
};

}  // namespace korva
