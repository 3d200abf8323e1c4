// Panels: loading them from the panel file, showing, hiding and discarding them, and the panel
// events (close request, activation).
#include "panels.h"

#include "inspect.h"
#include "controls.h"

#include "widgets.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QUiLoader>
#include <memory>

namespace korva {

namespace {

// A window opens no larger than the free area of its screen (without the task bar), so that all
// of it can be seen and reached on a small screen too; never below what its layout needs.
void FitToScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    const QSize room = screen->availableGeometry().size();
    window->resize(window->size().boundedTo(room).expandedTo(window->minimumSizeHint()));
}

// Dynamic properties of the panel file.
const char* const kPanelIdProperty = "panelId";
const char* const kControlIdProperty = "ctrlId";
const char* const kCallbackProperty = "callback";
// Set by this layer on a panel widget once it is registered.
const char* const kHandleProperty = "korvaPanelHandle";

// Creates this program's widgets, the spin box that reports committed values in place of every
// QSpinBox and the ring that can relabel its items in place of every QComboBox; everything else is
// left to Qt.
class PanelLoader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override
    {
        QWidget* widget = createOwnWidget(className, parent);
        if (widget == nullptr)
            return QUiLoader::createWidget(className, parent, name);
        widget->setObjectName(name);
        return widget;
    }

private:
    static QWidget* createOwnWidget(const QString& className, QWidget* parent)
    {
        if (className == QLatin1String("QSpinBox"))
            return new KorvaSpinBox(parent);
        if (className == QLatin1String("QComboBox"))
            return new KorvaRing(parent);
        if (className == QLatin1String("QCustomPlot") && ui::InstalledGraphKind().create != nullptr)
            return ui::InstalledGraphKind().create(parent);
        if (className == QLatin1String("KorvaLamp"))
            return new KorvaLamp(parent);
        if (className == QLatin1String("KorvaNumSlide"))
            return new KorvaNumSlide(parent);
        if (className == QLatin1String("KorvaTimer"))
            return new KorvaTimer(parent);
        if (className == QLatin1String("KorvaTextLine"))
            return new KorvaTextLine(parent);
        return nullptr;
    }
};

// Turns the window's close requests into the panel's close event and keeps the window open:
// the program decides when to quit. Also reports activation changes.
class PanelWatcher : public QObject {
public:
    PanelWatcher(int panel, QWidget* widget) : QObject(widget), m_panel(panel) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Close:
            event->ignore();
            ui::RaisePanelEvent(m_panel, EVENT_CLOSE);
            return true;
        case QEvent::WindowActivate:
            ui::RaisePanelEvent(m_panel, EVENT_GOT_FOCUS);
            return false;
        case QEvent::WindowDeactivate:
            ui::RaisePanelEvent(m_panel, EVENT_LOST_FOCUS);
            return false;
        default:
            return false;
        }
    }

private:
    int m_panel;
};

bool IsPanelWidget(const QWidget* widget)
{
    return widget->property(kPanelIdProperty).isValid();
}

// The panel a widget belongs to: its nearest ancestor that is a panel.
const QWidget* OwningPanel(const QWidget* widget)
{
    for (const QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (IsPanelWidget(w))
            return w;
    }
    return nullptr;
}

// The panels nested directly inside a panel.
QList<QWidget*> NestedPanels(const QWidget* panel)
{
    QList<QWidget*> nested;
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (IsPanelWidget(w) && OwningPanel(w) == panel)
            nested.append(w);
    }
    return nested;
}

QString AbsolutePanelFile(const char* fileName)
{
    const QString name = QString::fromUtf8(fileName);
    const QFileInfo given(name);
    if (given.isAbsolute())
        return given.absoluteFilePath();
    return QFileInfo(QDir(QString::fromStdString(GetProjectDir())), name).absoluteFilePath();
}

// Reads one control of the panel file into a record; returns 0 or the reason it is unusable.
int ReadControl(QWidget* widget, ui::Control* control)
{
    bool numbered = false;
    control->id = widget->property(kControlIdProperty).toInt(&numbered);
    const std::optional<ui::Kind> kind = ui::KindOfWidget(widget);
    if (!numbered || control->id <= 0 || !kind) {
        qWarning("Panel file: control %s has no usable identifier or kind", qPrintable(widget->objectName()));
        return UIE_FILE_FORMAT;
    }
    control->kind = *kind;
    control->widget = widget;
    control->style.baseStyleSheet = widget->styleSheet();
    const QString callback = widget->property(kCallbackProperty).toString();
    if (!callback.isEmpty()) {
        const ui::RegisteredCtrlCallback registered = ui::FindCtrlCallback(callback);
        control->callback = registered.callback;
        control->callbackData = registered.data;
        if (control->callback == nullptr) {
            qWarning("Panel file: callback %s of %s is not registered", qPrintable(callback),
                     qPrintable(widget->objectName()));
            return UIE_CALLBACK_NOT_FOUND;
        }
    }
    return ui::PrepareControl(*control) ? 0 : UIE_FILE_FORMAT;
}

// Every control of a panel, not counting those of panels nested in it.
int ReadControls(QWidget* panel, std::map<int, ui::Control>* controls)
{
    for (QWidget* widget : panel->findChildren<QWidget*>()) {
        if (!widget->property(kControlIdProperty).isValid() || OwningPanel(widget) != panel)
            continue;
        ui::Control control;
        if (const int error = ReadControl(widget, &control); error < 0)
            return error;
        if (!controls->emplace(control.id, control).second) {
            qWarning("Panel file: identifier %d is used twice", control.id);
            return UIE_FILE_FORMAT;
        }
    }
    return 0;
}

// Makes a panel widget a registered panel with its controls wired; returns its handle or an
// error, in which case nothing was registered.
int RegisterPanel(QWidget* widget, int parent, const QString& fileName)
{
    ui::Panel panel;
    panel.parent = parent;
    panel.fileName = fileName;
    panel.widget = widget;
    const QString callback = widget->property(kCallbackProperty).toString();
    if (!callback.isEmpty()) {
        panel.callback = ui::FindPanelCallback(callback);
        if (panel.callback == nullptr) {
            qWarning("Panel file: panel callback %s is not registered", qPrintable(callback));
            return UIE_CALLBACK_NOT_FOUND;
        }
    }
    if (const int error = ReadControls(widget, &panel.controls); error < 0)
        return error;

    const int handle = ui::AddPanel(std::move(panel));
    for (const auto& [id, control] : ui::FindPanel(handle)->controls)
        ui::WireControl(handle, control);
    widget->setProperty(kHandleProperty, handle);
    return handle;
}

int LoadTopLevelPanel(const QString& fileName, int resourceId)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return UIE_FILE_ACCESS;
    PanelLoader loader;
    loader.setWorkingDirectory(QFileInfo(fileName).absoluteDir());
    std::unique_ptr<QWidget> root(loader.load(&file));
    if (root == nullptr) {
        qWarning("Panel file %s: %s", qPrintable(fileName), qPrintable(loader.errorString()));
        return UIE_FILE_FORMAT;
    }
    if (root->property(kPanelIdProperty).toInt() != resourceId)
        return UIE_PANEL_NOT_FOUND;

    // Panels start hidden, the nested ones too.
    for (QWidget* nested : NestedPanels(root.get()))
        nested->hide();
    const int handle = RegisterPanel(root.get(), 0, fileName);
    if (handle > 0)
        new PanelWatcher(handle, root.release());
    return handle;
}

// A child panel is a panel nested inside its parent in the same panel file.
int FindChildPanel(int parent, const QString& fileName, int resourceId)
{
    const ui::Panel* p = ui::FindPanel(parent);
    if (p == nullptr || p->widget == nullptr)
        return UIE_NO_PANEL;
    if (p->fileName != fileName)
        return UIE_PANEL_NOT_FOUND;
    for (QWidget* nested : NestedPanels(p->widget)) {
        if (nested->property(kPanelIdProperty).toInt() != resourceId)
            continue;
        const QVariant loaded = nested->property(kHandleProperty);
        return loaded.isValid() ? loaded.toInt() : RegisterPanel(nested, parent, fileName);
    }
    return UIE_PANEL_NOT_FOUND;
}

}  // namespace

int ui::LoadPanelFile(int parentPanel, const char* fileName, int resourceId)
{
    const QString path = AbsolutePanelFile(fileName);
    return parentPanel == 0 ? LoadTopLevelPanel(path, resourceId) : FindChildPanel(parentPanel, path, resourceId);
}

int DisplayPanel(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr || p->widget == nullptr)
        return UIE_NO_PANEL;
    if (p->widget->isWindow() && !p->widget->isVisible())
        FitToScreen(p->widget);
    p->widget->show();
    if (p->widget->isWindow()) {
        p->widget->raise();
        p->widget->activateWindow();
    }
    return 0;
}

int HidePanel(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr || p->widget == nullptr)
        return UIE_NO_PANEL;
    p->widget->hide();
    return 0;
}

int DiscardPanel(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    if (p == nullptr)
        return UIE_NO_PANEL;
    for (int child : ui::ChildPanels(panel))
        DiscardPanel(child);
    delete p->widget.data();
    ui::RemovePanel(panel);
    return 0;
}

QWidget* CtrlWidget(int panel, int control)
{
    const ui::Control* c = ui::FindControl(panel, control);
    return c != nullptr ? c->widget.data() : nullptr;
}

QWidget* PanelWidget(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    return p != nullptr ? p->widget.data() : nullptr;
}

}  // namespace korva
