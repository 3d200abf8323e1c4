// The file dialog and the file-selection function.
#include "files.h"

#include "registry.h"
#include "userint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QShortcut>
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace korva {

namespace {

// "*.dat" -> {"dat"}, "Images (*.png *.pdf)" -> {"png", "pdf"}. Empty when any pattern is not of
// the form "*.ext" ("*", "*.*"): such a filter restricts nothing.
QStringList SuffixesOf(const QString& filter)
{
    static const QRegularExpression described(QStringLiteral("\\(([^)]*)\\)"));
    static const QRegularExpression oneSuffix(QStringLiteral("^\\*\\.(\\w+)$"));
    const QRegularExpressionMatch inParentheses = described.match(filter);
    const QString patterns = inParentheses.hasMatch() ? inParentheses.captured(1) : filter;
    QStringList suffixes;
    for (const QString& pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = oneSuffix.match(pattern);
        if (!match.hasMatch())
            return {};
        suffixes << match.captured(1);
    }
    return suffixes;
}

// {"png", "pdf"} -> ".png or .pdf"; {"a", "b", "c"} -> ".a, .b or .c".
QString ListOfSuffixes(const QStringList& suffixes)
{
    QStringList dotted;
    for (const QString& suffix : suffixes)
        dotted << QLatin1Char('.') + suffix;
    const QString last = dotted.takeLast();
    return dotted.isEmpty() ? last : dotted.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

enum class FileKind { Missing, Regular, Folder, Other };

// What a path names, following symbolic links; QFileInfo only asks the file system (stat), it
// never opens the file. A link that leads nowhere is no new name: writing would go elsewhere.
FileKind KindOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? FileKind::Other : FileKind::Missing;
    if (info.isDir())
        return FileKind::Folder;
    return info.isFile() ? FileKind::Regular : FileKind::Other;
}

}  // namespace

ui::FileDialog::FileDialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                           FileChoice choice)
    : QFileDialog(parent), m_suffixes(SuffixesOf(filter)), m_choice(choice)
{
    // First of all: every other setting would go to the platform's dialog, which takes any name
    // and cannot be kept open when a name is refused.
    setOption(QFileDialog::DontUseNativeDialog);
    setObjectName(QStringLiteral("KorvaFileDialog"));
    setWindowTitle(title);
    setDirectory(folder);
    setNameFilter(filter);
    setDefaultSuffix(m_suffixes.value(0));
    if (choice == FileChoice::Existing) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile);
    } else {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontConfirmOverwrite);  // Qt would ask in an event loop of its own
    }
    turnOffNestedLoops();
}

// The file views' context menus (rename, delete, sort, show columns) and the questions of the
// Delete key would each wait in an event loop of their own. New folders are still made with the
// tool button and named in place, which waits for nothing.
void ui::FileDialog::turnOffNestedLoops()
{
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        view->setContextMenuPolicy(Qt::NoContextMenu);
    const QList<QKeySequence> deleteKeys = QKeySequence::keyBindings(QKeySequence::Delete);
    for (QShortcut* shortcut : findChildren<QShortcut*>()) {
        if (std::ranges::any_of(shortcut->keys(), [&](const QKeySequence& key) { return deleteKeys.contains(key); }))
            shortcut->setEnabled(false);
    }
}

QLineEdit* ui::FileDialog::nameBox() const
{
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void ui::FileDialog::setVisible(bool visible)
{
    QFileDialog::setVisible(visible);
    const bool details = viewMode() == QFileDialog::Detail;
    auto* files = findChild<QAbstractItemView*>(details ? QStringLiteral("treeView") : QStringLiteral("listView"));
    if (visible && files != nullptr)
        files->setFocus();
}

// Folders go to QFileDialog, which opens them. A file is taken only when its extension is one of
// the filter's, it is a regular file or a new name, it exists if it must, and, when asked for, the
// operator has agreed to replace it. The name box is checked first: QFileDialog reads a name
// with '"' as a list of quoted names and would quietly take another file.
void ui::FileDialog::accept()
{
    const QString typed = nameBox() != nullptr ? nameBox()->text() : QString();
    if (typed.contains(QLatin1Char('"'))) {
        refuse(QStringLiteral("%1\nFile names cannot contain the character \".").arg(typed));
        return;
    }
    const QString path = selectedFiles().value(0);
    const QString name = QFileInfo(path).fileName();
    const FileKind kind = path.isEmpty() ? FileKind::Missing : KindOf(path);
    if (path.isEmpty() || kind == FileKind::Folder)
        QFileDialog::accept();
    else if (!takesSuffixOf(path))
        refuse(QStringLiteral("%1\nOnly files ending in %2 can be chosen.").arg(name, ListOfSuffixes(m_suffixes)));
    else if (kind == FileKind::Other)
        refuse(QStringLiteral("%1\nOnly regular files can be chosen, not devices, pipes, sockets or broken links.")
                   .arg(name));
    else if (kind == FileKind::Missing && m_choice == FileChoice::Existing)
        refuse(QStringLiteral("%1\nFile not found.\nPlease verify the correct file name was given.").arg(name));
    else if (kind == FileKind::Regular && m_choice == FileChoice::NewOrConfirmed && path != m_replaceAgreed)
        askToReplace(path);
    else
        QFileDialog::accept();
}

bool ui::FileDialog::takesSuffixOf(const QString& path) const
{
    const QString suffix = QFileInfo(path).suffix();
    const auto same = [&](const QString& taken) { return taken.compare(suffix, Qt::CaseInsensitive) == 0; };
    return m_suffixes.isEmpty() || std::ranges::any_of(m_suffixes, same);
}

// Window-modal over the dialog and opened with open(): the dialog waits for it, the program does not.
void ui::FileDialog::refuse(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// Qt's own question, without its event loop. Yes takes the file, after the same checks as before:
// it may have changed while the question was open.
void ui::FileDialog::askToReplace(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const QString text = QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name);
    auto* question =
        new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, this);
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this, question, path] {
        if (question->standardButton(question->clickedButton()) != QMessageBox::Yes)
            return;
        m_replaceAgreed = path;
        accept();
        m_replaceAgreed.clear();
    });
    question->open();
}

namespace {

// What each confirm button of the file-selection functions takes; nothing for other numbers.
std::optional<ui::FileChoice> ChoiceOf(int buttonLabel)
{
    switch (buttonLabel) {
    case VAL_OK_BUTTON:
        return ui::FileChoice::NewOrReplaced;
    case VAL_SAVE_BUTTON:
        return ui::FileChoice::NewOrConfirmed;
    case VAL_LOAD_BUTTON:
        return ui::FileChoice::Existing;
    default:
        return std::nullopt;
    }
}

QString ConfirmLabel(int buttonLabel)
{
    switch (buttonLabel) {
    case VAL_SAVE_BUTTON:
        return QStringLiteral("Save");
    case VAL_LOAD_BUTTON:
        return QStringLiteral("Load");
    default:
        return QStringLiteral("OK");
    }
}

// The dialog of the file-selection functions, proposing `defaultName`; not yet shown.
ui::FileDialog* NewFileDialog(QWidget* parent, const std::string& directory, const char* defaultName,
                              const char* filter, const char* title, int buttonLabel)
{
    auto* dialog = new ui::FileDialog(parent, QString::fromUtf8(title), QString::fromStdString(directory),
                                      QString::fromUtf8(filter), *ChoiceOf(buttonLabel));
    dialog->setLabelText(QFileDialog::Accept, ConfirmLabel(buttonLabel));
    dialog->selectFile(QString::fromUtf8(defaultName));
    return dialog;
}

QWidget* WidgetOfPanel(int panel)
{
    const ui::Panel* p = ui::FindPanel(panel);
    return p != nullptr ? p->widget.data() : nullptr;
}

// Hands the answer to the program from the event loop, never from inside the dialog's own code.
void Answer(FileChosenCallback chosen, const QString& path)
{
    if (chosen == nullptr || QCoreApplication::instance() == nullptr)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [chosen, path = path.toStdString()] { chosen(path); }, Qt::QueuedConnection);
}

}  // namespace

void FileSelectPopupThen(int panel, const std::string& directory, const char* defaultName, const char* filter,
                         const char* title, int buttonLabel, FileChosenCallback chosen)
{
    if (!ChoiceOf(buttonLabel)) {
        Answer(chosen, QString());
        return;
    }
    ui::FileDialog* dialog = NewFileDialog(WidgetOfPanel(panel), directory, defaultName, filter, title, buttonLabel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // One answer however the dialog ends: a dialog that goes with its panel counts as cancelled.
    auto answered = std::make_shared<bool>(false);
    auto answerOnce = [answered, chosen](const QString& path) {
        if (!std::exchange(*answered, true))
            Answer(chosen, path);
    };
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answerOnce](int result) {
        answerOnce(result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString());
    });
    QObject::connect(dialog, &QObject::destroyed, [answerOnce] { answerOnce(QString()); });
    // Window-modal over the panel: it blocks input to the panel only, and open() returns at once.
    dialog->open();
}

}  // namespace korva
