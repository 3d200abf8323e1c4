// The size and position of the program's windows, kept in the settings store.
#include "registry.h"
#include "store.h"
#include "userint.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace korva {

namespace {

// The free area of the screen a rectangle lies on (its centre, else the screen it touches most),
// or of the primary screen when it lies on none.
QRect AvailableAreaFor(const QRect& rect)
{
    const QScreen* best = QGuiApplication::screenAt(rect.center());
    if (best == nullptr) {
        qint64 bestOverlap = 0;
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect overlap = screen->geometry().intersected(rect);
            const qint64 area = qint64(overlap.width()) * overlap.height();
            if (area > bestOverlap) {
                bestOverlap = area;
                best = screen;
            }
        }
    }
    if (best == nullptr)
        best = QGuiApplication::primaryScreen();
    return best != nullptr ? best->availableGeometry() : QRect();
}

// Moved, and shrunk if need be, to lie inside `area`; never smaller than `minimum`, and then
// against the area's top-left corner, so the window's title and corner stay reachable.
QRect FitInto(const QRect& rect, const QRect& area, const QSize& minimum)
{
    const QSize size = rect.size().boundedTo(area.size()).expandedTo(minimum);
    const int x = std::max(area.left(), std::min(rect.left(), area.left() + area.width() - size.width()));
    const int y = std::max(area.top(), std::min(rect.top(), area.top() + area.height() - size.height()));
    return {QPoint(x, y), size};
}

QWidget* TopLevelPanel(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr || p->widget == nullptr || !p->widget->isWindow())
        return nullptr;
    return p->widget;
}

}  // namespace

bool RestorePanelGeometry(int panel, const char* key)
{
    QWidget* window = TopLevelPanel(panel);
    const std::optional<QVariant> stored = core::Stored(key);
    if (window == nullptr || !stored)
        return false;
    const QRect rect = stored->typeId() == QMetaType::QRect ? stored->toRect() : QRect();
    if (rect.width() <= 0 || rect.height() <= 0) {
        core::WarnIgnored(key, *stored, QStringLiteral("not a window's position and size"));
        return false;
    }
    const QRect area = AvailableAreaFor(rect);
    if (area.isEmpty())
        return false;
    window->setGeometry(FitInto(rect, area, window->minimumSizeHint()));
    return true;
}

bool SavePanelGeometry(int panel, const char* key)
{
    const QWidget* window = TopLevelPanel(panel);
    if (window == nullptr || !core::StoreOn())
        return false;
    // A maximised or minimised window is remembered as it is when the operator restores it
    // (Windows places a minimised one far off the screen).
    const Qt::WindowStates special = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    const bool normal = (window->windowState() & special) == 0;
    const QRect rect = normal ? window->geometry() : window->normalGeometry();
    if (rect.width() <= 0 || rect.height() <= 0)
        return false;
    core::Store(key, rect);
    return core::StoreOn();
}

}  // namespace korva
