// Answers the next file-selection dialog the way an operator would: choose a path and confirm, or
// cancel.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <memory>
#include <string>

namespace korva::test {

// Seen by the test afterwards: the dialog's title and confirm label.
struct DialogSeen {
    QString title;
    QString confirmLabel;
    QString directory;
};

// Call before the action that opens the dialog. An empty path cancels it.
inline std::shared_ptr<DialogSeen> AnswerFileDialog(const std::string& path)
{
    auto seen = std::make_shared<DialogSeen>();
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, seen, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        poll->stop();
        poll->deleteLater();
        seen->title = dialog->windowTitle();
        seen->confirmLabel = dialog->labelText(QFileDialog::Accept);
        seen->directory = dialog->directory().absolutePath();
        if (path.empty()) {
            dialog->reject();
            return;
        }
        // Typed into the file-name field, as an operator would.
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides accept() but dispatches it
    });
    poll->start();
    return seen;
}

}  // namespace korva::test
