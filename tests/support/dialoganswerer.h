#ifndef DIALOGANSWERER_H
#define DIALOGANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

// Answers the dialogs a test expects, in the order they come: presses a
// chosen button on the next message box, fills in a file or input dialog.
// Every dialog seen is recorded. A dialog with no answer queued is recorded
// as unexpected and closed, so a test never hangs on it.
class DialogAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Seen {
        QString kind; // "message", "file", "input"
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QStringList buttons;      // button texts, in the box's order
        QString directory;        // file dialogs: the folder shown first
        QString initialSelection; // file dialogs: the name offered
        QWidget *parent = nullptr;
        bool expected = true;
    };

    DialogAnswerer();

    // Presses the standard button, or the button showing buttonText.
    void pressButton(QMessageBox::StandardButton button = QMessageBox::Ok);
    void pressButtonLabelled(const QString &buttonText);
    // Closes the next message box as Escape does.
    void escapeMessageBox();
    // An empty path cancels the file dialog.
    void chooseFile(const QString &path);
    // Accepts the next input dialog with the value, or cancels it.
    void enterInteger(int value);
    void enterText(const QString &text);
    void cancelInput();

    const QList<Seen> &seen() const { return seenDialogs; }
    QList<Seen> messages() const;
    int unanswered() const { return answers.size(); }
    int unexpected() const;

private:
    struct Answer {
        enum Kind { Button, ButtonText, Escape, File, Integer, Text, CancelInput };
        explicit Answer(Kind k) : kind(k) {}
        Kind kind;
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        QString text;
        int value = 0;
    };

    void poll();
    void handleMessageBox(QMessageBox *box);
    void handleFileDialog(QWidget *dialog);
    void handleInputDialog(QWidget *dialog);

    QTimer timer;
    QList<Answer> answers;
    QList<Seen> seenDialogs;
};

#endif
