// Files: the file-selection dialog and arrays of numbers as text files.
#include "userint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <charconv>
#include <optional>
#include <vector>

namespace korva {

namespace {

// The file dialog opens with the keyboard focus on the file list rather than in the name box:
// QFileDialog::selectFile leaves the name box alone while it has the focus, and tests and tools
// choose files with selectFile.
class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void setVisible(bool visible) override
    {
        QFileDialog::setVisible(visible);
        const bool details = viewMode() == QFileDialog::Detail;
        auto* files = findChild<QAbstractItemView*>(details ? QStringLiteral("treeView") : QStringLiteral("listView"));
        if (visible && files != nullptr)
            files->setFocus();
    }
};

// "*.dat" -> "dat": the suffix a new name gets when it has none; empty for other filters.
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

}  // namespace

int FileSelectPopup(const std::string& directory, const char* defaultName, const char* filter, const char* title,
                    int buttonLabel, int allowCancel, int allowMakeDirectory, std::string* path)
{
    if (buttonLabel != VAL_OK_BUTTON && buttonLabel != VAL_LOAD_BUTTON)
        return UIE_BAD_ARGUMENT;
    FileDialog dialog(QApplication::activeWindow(), QString::fromUtf8(title), QString::fromStdString(directory));
    dialog.setObjectName(QStringLiteral("KorvaFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDirectory == 0);
    dialog.setNameFilter(QString::fromUtf8(filter));
    dialog.setDefaultSuffix(SuffixOf(QString::fromUtf8(filter)));
    SetUpButton(&dialog, buttonLabel);
    dialog.selectFile(QString::fromUtf8(defaultName));
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

int ArrayToFile(const std::string& path, const uint32_t* values, size_t n, int width)
{
    if (values == nullptr && n > 0)
        return UIE_BAD_ARGUMENT;
    QByteArray text;
    for (size_t i = 0; i < n; ++i)
        text += QByteArray::number(values[i]).rightJustified(width, ' ') + '\n';

    // QSaveFile writes beside the target and renames over it only once everything is written.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return UIE_FILE_ACCESS;
    return 0;
}

int FileToArray(const std::string& path, uint32_t* values, size_t n)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return UIE_FILE_ACCESS;
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return UIE_FILE_ACCESS;
    const std::optional<std::vector<uint32_t>> numbers = ParseNumbers(text);
    if (!numbers || numbers->size() < n)
        return UIE_FILE_FORMAT;
    std::copy_n(numbers->begin(), n, values);
    return 0;
}

}  // namespace korva
