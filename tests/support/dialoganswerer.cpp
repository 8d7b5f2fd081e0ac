#include "tests/support/dialoganswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>

DialogAnswerer::DialogAnswerer()
{
    connect(&timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    timer.start(5);
}

void DialogAnswerer::pressButton(QMessageBox::StandardButton button)
{
    Answer answer{Answer::Button};
    answer.button = button;
    answers.append(answer);
}

void DialogAnswerer::pressButtonLabelled(const QString &buttonText)
{
    Answer answer{Answer::ButtonText};
    answer.text = buttonText;
    answers.append(answer);
}

void DialogAnswerer::escapeMessageBox()
{
    answers.append(Answer{Answer::Escape});
}

void DialogAnswerer::chooseFile(const QString &path)
{
    Answer answer{Answer::File};
    answer.text = path;
    answers.append(answer);
}

void DialogAnswerer::enterInteger(int value)
{
    Answer answer{Answer::Integer};
    answer.value = value;
    answers.append(answer);
}

void DialogAnswerer::enterText(const QString &text)
{
    Answer answer{Answer::Text};
    answer.text = text;
    answers.append(answer);
}

void DialogAnswerer::cancelInput()
{
    answers.append(Answer{Answer::CancelInput});
}

QList<DialogAnswerer::Seen> DialogAnswerer::messages() const
{
    QList<Seen> result;
    for (const Seen &seen : seenDialogs)
        if (seen.kind == "message")
            result.append(seen);
    return result;
}

int DialogAnswerer::unexpected() const
{
    int count = 0;
    for (const Seen &seen : seenDialogs)
        count += seen.expected ? 0 : 1;
    return count;
}

void DialogAnswerer::poll()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || widget->property("answeredByTest").toBool())
            continue;
        if (auto *box = qobject_cast<QMessageBox *>(widget))
            handleMessageBox(box);
        else if (qobject_cast<QFileDialog *>(widget))
            handleFileDialog(widget);
        else if (qobject_cast<QInputDialog *>(widget))
            handleInputDialog(widget);
    }
}

void DialogAnswerer::handleMessageBox(QMessageBox *box)
{
    box->setProperty("answeredByTest", true);
    Seen seen;
    seen.kind = "message";
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.parent = box->parentWidget();
    for (QAbstractButton *button : box->buttons())
        seen.buttons.append(button->text());

    QAbstractButton *toPress = nullptr;
    if (!answers.isEmpty() &&
        (answers.first().kind == Answer::Button || answers.first().kind == Answer::ButtonText ||
         answers.first().kind == Answer::Escape)) {
        const Answer answer = answers.takeFirst();
        if (answer.kind == Answer::Button) {
            toPress = box->button(answer.button);
        } else if (answer.kind == Answer::ButtonText) {
            for (QAbstractButton *button : box->buttons())
                if (button->text() == answer.text)
                    toPress = button;
        }
    } else {
        seen.expected = false;
    }
    seenDialogs.append(seen);
    if (toPress != nullptr)
        toPress->click();
    else
        box->reject();
}

void DialogAnswerer::handleFileDialog(QWidget *widget)
{
    auto *dialog = static_cast<QFileDialog *>(widget);
    dialog->setProperty("answeredByTest", true);
    Seen seen;
    seen.kind = "file";
    seen.title = dialog->windowTitle();
    seen.text = dialog->nameFilters().join(";;");
    seen.directory = dialog->directory().absolutePath();
    seen.initialSelection = dialog->selectedFiles().value(0);
    seen.parent = dialog->parentWidget();
    if (!answers.isEmpty() && answers.first().kind == Answer::File) {
        const QString path = answers.takeFirst().text;
        seenDialogs.append(seen);
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            // Any path is taken as typed: no overwrite question, no check
            // that the file exists, so tests can choose missing files too.
            dialog->setFileMode(QFileDialog::AnyFile);
            dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
            // selectFile leaves the name field as it is while the field has
            // the focus, and the folder may not be listed yet; without the
            // focus the name is always filled in.
            if (QWidget *focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        }
        return;
    }
    seen.expected = false;
    seenDialogs.append(seen);
    dialog->reject();
}

void DialogAnswerer::handleInputDialog(QWidget *widget)
{
    auto *dialog = static_cast<QInputDialog *>(widget);
    dialog->setProperty("answeredByTest", true);
    Seen seen;
    seen.kind = "input";
    seen.title = dialog->windowTitle();
    seen.text = dialog->labelText();
    seen.parent = dialog->parentWidget();
    if (!answers.isEmpty() &&
        (answers.first().kind == Answer::Integer || answers.first().kind == Answer::Text ||
         answers.first().kind == Answer::CancelInput)) {
        const Answer answer = answers.takeFirst();
        seenDialogs.append(seen);
        if (answer.kind == Answer::Integer) {
            dialog->setIntValue(answer.value);
            dialog->accept();
        } else if (answer.kind == Answer::Text) {
            dialog->setTextValue(answer.text);
            dialog->accept();
        } else {
            dialog->reject();
        }
        return;
    }
    seen.expected = false;
    seenDialogs.append(seen);
    dialog->reject();
}
