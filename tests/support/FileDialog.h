// Answers the next file-selection dialog the way an operator would: type a path and confirm
// (and confirm replacing an existing file when asked), or cancel.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <string>

namespace korva::test {

// Seen by the test afterwards: the dialog's title and confirm label.
struct DialogSeen {
    QString title;
    QString confirmLabel;
    QString directory;
    bool answered = false;  // the dialog has been answered, and what the program does then has run
};

// Call before the action that opens the dialog. An empty path cancels it.
inline std::shared_ptr<DialogSeen> AnswerFileDialog(const std::string& path)
{
    auto seen = std::make_shared<DialogSeen>();
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, seen, path] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* question = qobject_cast<QMessageBox*>(modal)) {  // replace the existing file?
            question->button(QMessageBox::Yes)->click();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) {
            if (!seen->title.isEmpty()) {
                poll->stop();
                poll->deleteLater();
                // The program hears of the choice at the next event processing; then this.
                QMetaObject::invokeMethod(qApp, [seen] { seen->answered = true; }, Qt::QueuedConnection);
            }
            return;
        }
        if (!seen->title.isEmpty())
            return;  // answered; a question may still come
        seen->title = dialog->windowTitle();
        seen->confirmLabel = dialog->labelText(QFileDialog::Accept);
        seen->directory = dialog->directory().absolutePath();
        if (path.empty()) {
            dialog->reject();
            return;
        }
        // Typed into the file-name field, as an operator would; with the field in focus, the dialog
        // takes what is typed rather than a file selected in its list.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        dialog->activateWindow();
        name->setFocus();
        name->setText(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides accept() but dispatches it
    });
    poll->start();
    return seen;
}

}  // namespace korva::test
