// Files: the file-selection dialog and arrays of numbers as text files.
#include "uifiles.h"

#include "userint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korva {

namespace {

// The file-selection dialog: Qt's own, with two differences.
class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    // The dialog opens with the keyboard focus on the file list rather than in the name box:
    // QFileDialog::selectFile leaves the name box alone while it has the focus, and tests and
    // tools choose files with selectFile.
    void setVisible(bool visible) override
    {
        QFileDialog::setVisible(visible);
        const bool details = viewMode() == QFileDialog::Detail;
        auto* files = findChild<QAbstractItemView*>(details ? QStringLiteral("treeView") : QStringLiteral("listView"));
        if (visible && files != nullptr)
            files->setFocus();
    }

    // When the filter names one extension, only files with that extension are taken (a new name
    // without one has already been given it); folders are opened as usual. Any other name is
    // refused with a message, and the dialog stays open for another choice.
    void accept() override
    {
        const QStringList chosen = selectedFiles();
        const auto refused = std::ranges::find_if_not(chosen, [this](const QString& path) { return Takes(path); });
        if (refused == chosen.end()) {
            QFileDialog::accept();
            return;
        }
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1\nOnly files ending in .%2 can be chosen.")
                                                      .arg(QFileInfo(*refused).fileName(), defaultSuffix()));
    }

private:
    bool Takes(const QString& path) const
    {
        const QFileInfo info(path);
        const QString suffix = defaultSuffix();
        return suffix.isEmpty() || info.isDir() || info.suffix().compare(suffix, Qt::CaseInsensitive) == 0;
    }
};

// "*.dat" -> "dat": the suffix a new name gets when it has none, and the only one the dialog
// takes; empty for other filters.
QString SuffixOf(const QString& filter)
{
    static const QRegularExpression singleSuffix(QStringLiteral("^\\*\\.(\\w+)$"));
    return singleSuffix.match(filter).captured(1);
}

void SetUpButton(QFileDialog* dialog, int buttonLabel)
{
    if (buttonLabel == VAL_OK_BUTTON) {
        // Saving: a new name or an existing file, which is then replaced without asking.
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        dialog->setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Load"));
    }
}

// The dialog as both file selections show it: Qt's own, in the program's look, proposing
// `defaultName` and taking only files that match `filter`.
void SetUpDialog(QFileDialog* dialog, const char* defaultName, const char* filter, int buttonLabel,
                 bool allowMakeDirectory)
{
    dialog->setObjectName(QStringLiteral("KorvaFileDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
    dialog->setNameFilter(QString::fromUtf8(filter));
    dialog->setDefaultSuffix(SuffixOf(QString::fromUtf8(filter)));
    SetUpButton(dialog, buttonLabel);
    dialog->selectFile(QString::fromUtf8(defaultName));
}

void HideCancelButton(QFileDialog* dialog)
{
    if (auto* buttons = dialog->findChild<QDialogButtonBox*>(); buttons != nullptr) {
        if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel); cancel != nullptr)
            cancel->hide();
    }
}

// The number on one line, without the blanks around it.
std::optional<uint32_t> ParseNumber(QByteArrayView line)
{
    uint32_t value = 0;
    const char* end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(line.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// Every number of the text, or nothing when a line holds anything but one number or blanks.
std::optional<std::vector<uint32_t>> ParseNumbers(const QByteArray& text)
{
    std::vector<uint32_t> numbers;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();  // blanks and the CR of CR LF
        if (line.isEmpty())
            continue;
        const std::optional<uint32_t> number = ParseNumber(line);
        if (!number)
            return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

// A text file of numbers larger than this is refused unread. Sixteen parameter values take at
// most 112 bytes (192 with ten-digit numbers), CR LF line ends included; the rest is room for
// blanks and blank lines.
constexpr qint64 MAX_NUMBER_FILE_SIZE = 4096;

bool IsSmallFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_size <= MAX_NUMBER_FILE_SIZE;
}

// The content of a regular file, also behind symbolic links, of at most MAX_NUMBER_FILE_SIZE
// bytes; nothing for anything else. A FIFO or a device may block the reader, never end or be
// disturbed by being opened, so the type is checked before the file is opened, and once more on
// the opened file in case another was put in its place; opening without blocking makes sure a
// FIFO put there in between cannot hold the program.
std::optional<QByteArray> ReadSmallFile(const std::string& path)
{
    const QByteArray name = QFile::encodeName(QString::fromStdString(path));
    struct stat info {};
    if (stat(name.constData(), &info) != 0 || !IsSmallFile(info))
        return std::nullopt;
    QFile file;
    const int fd = open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return std::nullopt;
    if (fstat(fd, &info) != 0 || !IsSmallFile(info))
        return std::nullopt;
    QByteArray text = file.read(MAX_NUMBER_FILE_SIZE + 1);  // one byte more shows a file that grew
    if (file.error() != QFileDevice::NoError || text.size() > MAX_NUMBER_FILE_SIZE)
        return std::nullopt;
    return text;
}

// Writes the text and waits until every byte of it is on the disk. QSaveFile::commit does not
// notice a full disk while writing out its buffer, so that has to have happened before it.
bool WriteToDisk(QSaveFile* file, const QByteArray& text)
{
    return file->write(text) == text.size() && file->flush() && file->error() == QFileDevice::NoError &&
           fsync(file->handle()) == 0;
}

}  // namespace

// QSaveFile writes beside the target and renames over it only on commit; without a commit it
// removes what it wrote, and the target stays as it was.
bool ui::WriteFileSafely(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && WriteToDisk(&file, content) && file.commit();
}

int FileSelectPopup(const std::string& directory, const char* defaultName, const char* filter, const char* title,
                    int buttonLabel, int allowCancel, int allowMakeDirectory, std::string* path)
{
    if (buttonLabel != VAL_OK_BUTTON && buttonLabel != VAL_LOAD_BUTTON)
        return UIE_BAD_ARGUMENT;
    FileDialog dialog(QApplication::activeWindow(), QString::fromUtf8(title), QString::fromStdString(directory));
    SetUpDialog(&dialog, defaultName, filter, buttonLabel, allowMakeDirectory != 0);
    if (allowCancel == 0)
        HideCancelButton(&dialog);

    // Without Cancel, closing the dialog otherwise (Escape, close box) just opens it again.
    while (dialog.exec() != QDialog::Accepted) {
        if (allowCancel != 0)
            return VAL_NO_FILE_SELECTED;
    }
    const QString chosen = dialog.selectedFiles().value(0);
    *path = chosen.toStdString();
    return QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

void FileSelectPopupThen(const std::string& directory, const char* defaultName, const char* filter, const char* title,
                         FileChosenCallback chosen)
{
    auto* dialog =
        new FileDialog(QApplication::activeWindow(), QString::fromUtf8(title), QString::fromStdString(directory));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    SetUpDialog(dialog, defaultName, filter, VAL_OK_BUTTON, true);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, chosen](int result) {
        chosen(result == QDialog::Accepted ? dialog->selectedFiles().value(0).toStdString() : std::string());
    });
    // open() returns at once: the program's loops go on while the dialog waits for its answer.
    dialog->open();
}

int ArrayToFile(const std::string& path, const uint32_t* values, size_t n, int width)
{
    if (values == nullptr && n > 0)
        return UIE_BAD_ARGUMENT;
    QByteArray text;
    for (size_t i = 0; i < n; ++i)
        text += QByteArray::number(values[i]).rightJustified(width, ' ') + '\n';
    return ui::WriteFileSafely(QString::fromStdString(path), text) ? 0 : UIE_FILE_ACCESS;
}

int FileToArray(const std::string& path, uint32_t* values, size_t n)
{
    const std::optional<QByteArray> text = ReadSmallFile(path);
    if (!text)
        return UIE_FILE_ACCESS;
    const std::optional<std::vector<uint32_t>> numbers = ParseNumbers(*text);
    if (!numbers || numbers->size() < n)
        return UIE_FILE_FORMAT;
    std::copy_n(numbers->begin(), n, values);
    return 0;
}

}  // namespace korva
