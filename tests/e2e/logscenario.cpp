#include "tests/e2e/logscenario.h"

#include "app/talvik.h"
#include "tests/support/dialoganswerer.h"

#include <QPushButton>

namespace e2e
{

std::vector<sim::Record> sampleLog()
{
    sim::LogOptions options;
    options.soil = true;
    return sim::generateLog(420, 17, options);
}

QStringList downloadFullLog(Talvik &window, const QString &csvPath)
{
    DialogAnswerer answerer;
    answerer.chooseFile(csvPath);
    answerer.pressButton(QMessageBox::Ok);
    answerer.pressButton(QMessageBox::Ok);
    window.findChild<QPushButton *>("ButtonDownloadFullLog")->click();
    QStringList texts;
    for (const DialogAnswerer::Seen &message : answerer.messages())
        texts.append(message.text);
    return texts;
}

} // namespace e2e
