// Inside the user-interface layer: the file dialog every file choice uses.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

class QLineEdit;

namespace korva::ui {

// What a file dialog takes besides new names.
enum class FileChoice {
    NewOrReplaced,   // an existing file too, which is then replaced without a question
    NewOrConfirmed,  // an existing file too, once the operator has agreed to replace it
    Existing,        // existing files only, and no new names
};

// The file dialog of the platform: Qt's own widgets, never the platform's dialog, opened with
// open() so that it never waits in an event loop of its own; the program's polling loops go on
// while it is open. It takes only names with one of the extensions its filter names ("*.dat",
// "Images (*.png *.pdf)"; a new name without one gets the first), and refuses names containing '"'
// (Qt would split them into several) and existing files that are not regular files (FIFOs,
// devices, sockets: checked without opening them, as opening a FIFO may block for ever). Every
// refusal and the question before a file is replaced is a window-modal message box opened with
// open(); the dialog stays open for another choice. Folders are opened as usual and may be
// created; the file views have no context menus and Delete removes nothing, as Qt would show
// those menus and its questions in event loops of their own.
class FileDialog : public QFileDialog {
public:
    FileDialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
               FileChoice choice);

    // The extensions taken, without the dot; empty when the filter names other patterns, and then
    // any name is taken.
    const QStringList& suffixes() const { return m_suffixes; }

    // The dialog opens with the keyboard focus on the file list rather than in the name box:
    // QFileDialog::selectFile leaves the name box alone while it has the focus, and tests and
    // tools choose files with selectFile.
    void setVisible(bool visible) override;

    // Checks the name chosen and either refuses it, asks before replacing the file, or takes it.
    void accept() override;

private:
    QLineEdit* nameBox() const;
    void turnOffNestedLoops();
    bool takesSuffixOf(const QString& path) const;
    void refuse(const QString& text);
    void askToReplace(const QString& path);

    QStringList m_suffixes;
    FileChoice m_choice;
    QString m_replaceAgreed;  // the existing file the operator has just agreed to replace
};

}  // namespace korva::ui
