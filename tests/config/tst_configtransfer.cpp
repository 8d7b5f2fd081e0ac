#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/config/modulevalues.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <memory>

class ConfigTransferTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;
    // The progress dialog as each parameter command found it.
    QStringList progress;

    static sim::SimulatedModule &module() { return sim::module(); }

    bool open()
    {
        window = testenv::openConnectedWindow();
        return window != nullptr;
    }

    void watchProgress()
    {
        sim::setReplyHandler([this](const unsigned char *payload) {
            if (payload[0] >= 0x10)
                recordProgress();
            return module().handle(payload);
        });
    }

    void recordProgress()
    {
        auto *dialog = window->findChild<QProgressDialog *>();
        if (dialog == nullptr || !dialog->isVisible()) {
            progress << "none";
            return;
        }
        progress << QString("%1 %2..%3 \"%4\" \"%5\" modality %6, %7 buttons")
                        .arg(dialog->value())
                        .arg(dialog->minimum())
                        .arg(dialog->maximum())
                        .arg(dialog->labelText(), dialog->windowTitle())
                        .arg(dialog->windowModality())
                        .arg(dialog->findChildren<QPushButton *>().size());
    }

    static QString progressAt(int value, int maximum, const QString &label)
    {
        return QString("%1 0..%2 \"%3\" \"Talvik\" modality %4, 0 buttons")
            .arg(value)
            .arg(maximum)
            .arg(label)
            .arg(Qt::WindowModal);
    }

    QLineEdit *edit(const char *name) { return window->findChild<QLineEdit *>(name); }
    QComboBox *box(const char *name) { return window->findChild<QComboBox *>(name); }
    QLabel *label(const char *name) { return window->findChild<QLabel *>(name); }

    static QList<QByteArray> wire()
    {
        QList<QByteArray> reports;
        for (const sim::WrittenReport &written : sim::writtenReports())
            reports.append(QByteArray(reinterpret_cast<const char *>(written.bytes.data()),
                                      static_cast<int>(written.bytes.size())));
        return reports;
    }

    static QList<QByteArray> identityQueries()
    {
        return {report(QByteArray(1, 0x01)), report(QByteArray(1, 0x00)),
                report(QByteArray(1, 0x07))};
    }

    void read(DialogAnswerer &answerer)
    {
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonRead")->click();
    }

    void write(DialogAnswerer &answerer, QMessageBox::StandardButton confirm = QMessageBox::Ok)
    {
        answerer.pressButton(confirm);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonWrite")->click();
    }

    // A fresh form leaves the number fields empty, which a write refuses.
    void fillNumbers()
    {
        for (const ExpectedItem &item : expectedItems())
            if (item.kind == 'F')
                edit(item.widget)->setText("1");
    }

    void verifyMessage(const DialogAnswerer::Seen &seen, QMessageBox::Icon icon,
                       const QString &text)
    {
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.title, QString("Talvik"));
        QCOMPARE(seen.parent, window.get());
        QVERIFY(seen.expected);
    }

    void verifyOnlyMessage(const DialogAnswerer &answerer, QMessageBox::Icon icon,
                           const QString &text)
    {
        QCOMPARE(answerer.messages().size(), 1);
        verifyMessage(answerer.messages()[0], icon, text);
        QCOMPARE(answerer.messages()[0].buttons.size(), 1);
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        sim::freshModule(false);
        progress.clear();
    }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void readFillsEveryReadableItemAndBlanksPasswords()
    {
        fillModuleWithTestValues();
        module().setSerialNumber(0xFFFFFFFF);
        module().setSoftwareVersion(0xFFFE);
        QVERIFY(open());
        watchProgress();
        edit("LineEditWUPass")->setText("a");
        edit("LineEditWUPassVer")->setText("b");
        for (const char *name : {"LineEditEmailPass", "LineEditEmailPassVer", "LineEditFTPPass",
                                 "LineEditFTPPassVer", "LineEditWiFiPass"})
            edit(name)->setText("secret");

        DialogAnswerer answerer;
        read(answerer);
        verifyOnlyMessage(answerer, QMessageBox::Information, "Settings read from unit.");
        QCOMPARE(label("LabelSN")->text(), QString("Serial Number: 4294967295"));
        QCOMPARE(label("LabelVer")->text(), QString("Software Version: -2"));

        QList<QByteArray> expected = identityQueries();
        const QVector<ExpectedItem> &items = expectedItems();
        for (int row = 0; row < items.size(); ++row) {
            const ExpectedItem &item = items[row];
            if (item.kind != 'W')
                expected << readRequest(item);
            switch (item.kind) {
            case 'F':
                QCOMPARE(edit(item.widget)->text(), moduleFloatText(row));
                break;
            case 'C':
                QCOMPARE(box(item.widget)->currentIndex(), formChoice(item.widget));
                break;
            case 'P':
                QCOMPARE(edit(item.widget)->text(), QString("-25536"));
                break;
            case 'T':
                QCOMPARE(edit(item.widget)->text(), QString(moduleText(item.index)));
                break;
            case 'W':
                QCOMPARE(edit(item.widget)->text(), QString());
                break;
            }
        }
        QCOMPARE(wire(), expected);

        QCOMPARE(box("ComboBoxLogRate")->currentText(), QString());
        // The type came first, so its units list was there for the units.
        QCOMPARE(box("ComboBoxAN1Units")->currentText(), QString::fromUtf8("\u00B0F"));
        QCOMPARE(box("ComboBoxAN2Units")->currentText(), QString("%"));
        for (const char *name : {"LineEditWUPassVer", "LineEditEmailPassVer", "LineEditFTPPassVer"})
            QCOMPARE(edit(name)->text(), QString());
        for (const char *name : {"LabelWUPass", "LabelEmailPass", "LabelFTPPass"})
            QVERIFY(label(name)->isHidden());

        QStringList steps;
        for (int step = 2; step <= 50; ++step)
            steps << progressAt(step, 51, "Reading Settings...");
        QCOMPARE(progress, steps);
        QVERIFY(window->findChild<QProgressDialog *>() == nullptr);
    }

    void writeSendsBackWhatWasReadAndOnlyFilledPasswords()
    {
        fillModuleWithTestValues();
        QVERIFY(open());
        {
            DialogAnswerer answerer;
            read(answerer);
            QCOMPARE(answerer.messages().size(), 1);
        }
        const QMap<int, QByteArray> before = moduleState();
        // The module's log rate is none of the box's items: Write names the
        // box and sends nothing until one is chosen.
        {
            DialogAnswerer refused;
            refused.pressButton(QMessageBox::Ok);
            window->findChild<QPushButton *>("ButtonWrite")->click();
            QCOMPARE(refused.messages().size(), 1);
            QVERIFY(refused.messages()[0].text.startsWith(
                "The field \"Logging Rate\" on the page \"General\""));
        }
        box("ComboBoxLogRate")->setCurrentIndex(8);
        QList<QByteArray> sent = writesOfModuleValues(false);
        sent[4] = report(QByteArray(1, 0x13) + be16(0x00DC) + be16(8));
        sim::clearWrittenReports();
        watchProgress();

        auto writer = std::make_unique<DialogAnswerer>();
        DialogAnswerer &answerer = *writer;
        write(answerer);
        QCOMPARE(answerer.messages().size(), 2);
        verifyMessage(answerer.messages()[0], QMessageBox::Critical,
                      "Are you sure you want to overwrite settings on unit?");
        QCOMPARE(answerer.messages()[0].buttons.size(), 2);
        QVERIFY(answerer.messages()[0].buttons.contains("OK"));
        QVERIFY(answerer.messages()[0].buttons.contains("Cancel"));
        verifyMessage(answerer.messages()[1], QMessageBox::Information,
                      "Settings written to unit.");

        // Blank passwords are not sent.
        QCOMPARE(wire(), QList<QByteArray>{report(QByteArray(1, 0x07))} + sent);
        // Passwords included: the read blanked them, so the module keeps its own.
        QMap<int, QByteArray> after = before;
        after[0x00DC] = be16(8);
        QCOMPARE(moduleState(), after);
        QCOMPARE(module().int16Parameter(0x00E8), quint16(ModulePort));

        // Skipped passwords count as done.
        QStringList steps;
        for (int row = 0; row < expectedItems().size(); ++row)
            if (expectedItems()[row].kind != 'W')
                steps << progressAt(row, 53, "Writing Settings...");
        QCOMPARE(progress, steps);

        writer.reset();
        // All four passwords filled: 53 writes, each password in its place.
        for (const ExpectedItem &item : expectedItems()) {
            if (item.kind != 'W')
                continue;
            edit(item.widget)->setText("new" + QString::number(item.index));
            if (QLineEdit *verify = edit(qPrintable(QString(item.widget) + "Ver")))
                verify->setText(edit(item.widget)->text());
        }
        sim::clearWrittenReports();
        DialogAnswerer again;
        write(again);
        QCOMPARE(again.messages().size(), 2);
        QCOMPARE(again.messages()[1].text, QString("Settings written to unit."));
        QCOMPARE(wire().size(), 1 + 53);
        sent = writesOfModuleValues(true);
        sent[4] = report(QByteArray(1, 0x13) + be16(0x00DC) + be16(8));
        QCOMPARE(wire(), QList<QByteArray>{report(QByteArray(1, 0x07))} + sent);
        QCOMPARE(module().textParameter(0x03A6), std::string("new934"));
    }

    void failedWriteLeavesEarlierItemsWrittenAndSendsNoMore()
    {
        fillModuleWithTestValues();
        QVERIFY(open());
        {
            DialogAnswerer answerer;
            read(answerer);
        }
        // The module's log rate is none of the box's items; one is chosen.
        box("ComboBoxLogRate")->setCurrentIndex(8);
        QMap<int, QByteArray> fromForm = moduleState();
        fromForm[0x00DC] = be16(8);
        QList<QByteArray> sent = writesOfModuleValues(false);
        sent[4] = report(QByteArray(1, 0x13) + be16(0x00DC) + be16(8));
        // Other values on the module, so what the write reached shows.
        for (const ExpectedItem &item : expectedItems()) {
            if (item.kind == 'F')
                module().setFloatParameter(item.index, -7.0f);
            else if (item.kind == 'C' || item.kind == 'P')
                module().setInt16Parameter(item.index, 77);
            else
                module().setTextParameter(item.index, "untouched");
        }
        const QMap<int, QByteArray> untouched = moduleState();
        // The EEPROM query and 29 writes pass; the 30th is refused.
        module().addFault({sim::FaultKind::WrongCode, 0xFF, sim::AnyCommand, 30, 1});
        sim::clearWrittenReports();

        DialogAnswerer answerer;
        write(answerer);
        QCOMPARE(answerer.messages().size(), 2);
        verifyMessage(answerer.messages()[1], QMessageBox::Critical, "Failed to write settings.");

        const QList<QByteArray> frames = wire();
        QCOMPARE(frames.size(), 1 + 30);
        QCOMPARE(frames.mid(1), sent.mid(0, 30));
        const QMap<int, QByteArray> state = moduleState();
        const QVector<ExpectedItem> &items = expectedItems();
        for (int row = 0; row < items.size(); ++row) {
            const int index = items[row].index;
            QCOMPARE(state[index], row < 29 ? fromForm[index] : untouched[index]);
        }
        QVERIFY(window->findChild<QProgressDialog *>() == nullptr);
    }

    void declinedConfirmationSendsNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }

    void declinedConfirmationSendsNothing()
    {
        QFETCH(bool, escape);
        QVERIFY(open());
        fillNumbers();
        DialogAnswerer answerer;
        if (escape)
            answerer.escapeMessageBox();
        else
            answerer.pressButton(QMessageBox::Cancel);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonWrite")->click();
        QCOMPARE(answerer.messages().size(), 2);
        QCOMPARE(answerer.messages()[0].text,
                 QString("Are you sure you want to overwrite settings on unit?"));
        verifyMessage(answerer.messages()[1], QMessageBox::Critical, "Failed to write settings.");
        QVERIFY(sim::writtenReports().empty());
    }

    void passwordPairsMustMatchBeforeAnythingIsAsked_data()
    {
        QTest::addColumn<QStringList>("texts"); // WU, WU verify, Email, ..., FTP verify
        QTest::addColumn<QString>("message");
        QTest::newRow("WU typed, verify empty")
            << QStringList{"x", "", "", "", "", ""}
            << "ERROR: Weather Underground Passwords do not match!";
        QTest::newRow("WU and Email differ")
            << QStringList{"a", "b", "c", "d", "", ""}
            << "ERROR: Weather Underground Passwords do not match!";
        QTest::newRow("Email differs") << QStringList{"same", "same", "mail", "", "", ""}
                                       << "ERROR: Email Passwords do not match!";
        QTest::newRow("FTP differs in case")
            << QStringList{"", "", "", "", "Pass", "pass"} << "ERROR: FTP Passwords do not match!";
    }

    void passwordPairsMustMatchBeforeAnythingIsAsked()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, message);
        QVERIFY(open());
        const char *fields[] = {"LineEditWUPass",       "LineEditWUPassVer", "LineEditEmailPass",
                                "LineEditEmailPassVer", "LineEditFTPPass",   "LineEditFTPPassVer"};
        for (int i = 0; i < 6; ++i)
            edit(fields[i])->setText(texts[i]);
        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonWrite")->click();
        verifyOnlyMessage(answerer, QMessageBox::Critical, message);
        QVERIFY(sim::writtenReports().empty());
    }

    void onlyEepromVersionsFourToThirtyAreServed_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("supported");
        QTest::newRow("3") << 3 << false;
        QTest::newRow("4") << 4 << true;
        QTest::newRow("30") << 30 << true;
        QTest::newRow("31") << 31 << false;
        QTest::newRow("0xFFFF is -1") << 0xFFFF << false;
    }

    void onlyEepromVersionsFourToThirtyAreServed()
    {
        QFETCH(int, version);
        QFETCH(bool, supported);
        fillModuleWithTestValues();
        module().setEepromVersion(version);
        module().setSerialNumber(77);
        module().setSoftwareVersion(5);
        QVERIFY(open());
        edit("LineEditID")->setText("keep");

        auto reader = std::make_unique<DialogAnswerer>();
        DialogAnswerer &answerer = *reader;
        read(answerer);
        QCOMPARE(label("LabelSN")->text(), QString("Serial Number: 77"));
        QCOMPARE(label("LabelVer")->text(), QString("Software Version: 5"));
        if (supported) {
            verifyOnlyMessage(answerer, QMessageBox::Information, "Settings read from unit.");
            QCOMPARE(sim::writtenReports().size(), size_t(3 + 49));
        } else {
            verifyOnlyMessage(answerer, QMessageBox::Critical, "Incompatable Firmware Version.");
            QCOMPARE(wire(), identityQueries());
            QCOMPARE(edit("LineEditID")->text(), QString("keep"));
        }

        reader.reset();
        fillNumbers();
        // The module's log rate is none of the box's items.
        box("ComboBoxLogRate")->setCurrentIndex(8);
        sim::clearWrittenReports();
        DialogAnswerer writer;
        write(writer);
        QCOMPARE(writer.messages().size(), 2);
        if (supported) {
            QCOMPARE(writer.messages()[1].text, QString("Settings written to unit."));
            QCOMPARE(sim::writtenReports().size(), size_t(1 + 49));
        } else {
            verifyMessage(writer.messages()[1], QMessageBox::Critical,
                          "Incompatable Firmware Version.");
            QCOMPARE(wire(), QList<QByteArray>{report(QByteArray(1, 0x07))});
        }
    }

    void identityQueryWithWrongCodeStopsTheRead_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("queries");
        QTest::newRow("serial number") << 0x01 << "Failed to get serial number." << 1;
        QTest::newRow("software version") << 0x00 << "Failed to get software version." << 2;
        QTest::newRow("eeprom version") << 0x07 << "Failed to get eeprom version." << 3;
    }

    void identityQueryWithWrongCodeStopsTheRead()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(int, queries);
        fillModuleWithTestValues();
        module().answerWrongCode(0xFF, sim::Always, code);
        module().setSerialNumber(4242);
        module().setSoftwareVersion(3);
        QVERIFY(open());

        auto reader = std::make_unique<DialogAnswerer>();
        DialogAnswerer &answerer = *reader;
        read(answerer);
        verifyOnlyMessage(answerer, QMessageBox::Critical, message);
        // A reply with another code is not asked again.
        QCOMPARE(wire(), identityQueries().mid(0, queries));
        QCOMPARE(label("LabelSN")->text(),
                 QString(queries > 1 ? "Serial Number: 4242" : "Serial Number: "));
        QCOMPARE(label("LabelVer")->text(),
                 QString(queries > 2 ? "Software Version: 3" : "Software Version: "));

        if (code == 0x07) {
            reader.reset();
            fillNumbers();
            sim::clearWrittenReports();
            DialogAnswerer writer;
            write(writer);
            QCOMPARE(writer.messages().size(), 2);
            verifyMessage(writer.messages()[1], QMessageBox::Critical, message);
            QCOMPARE(wire(), QList<QByteArray>{report(QByteArray(1, 0x07))});
        }
    }

    void silentModuleFailsAfterTwoAttempts()
    {
        module().staySilent(sim::Always);
        QVERIFY(open());
        DialogAnswerer answerer;
        read(answerer);
        verifyOnlyMessage(answerer, QMessageBox::Critical, "Failed to get serial number.");
        QCOMPARE(wire(),
                 QList<QByteArray>({report(QByteArray(1, 0x01)), report(QByteArray(1, 0x01))}));
    }

    void failedReadKeepsTheRestOfTheForm()
    {
        fillModuleWithTestValues();
        // Three identity queries and nine items pass; the temperature slope fails.
        module().addFault({sim::FaultKind::WrongCode, 0xFF, sim::AnyCommand, 12, 1});
        QVERIFY(open());
        const QVector<ExpectedItem> &items = expectedItems();
        QMap<QString, int> initialChoice;
        for (const ExpectedItem &item : items) {
            if (item.kind == 'C')
                initialChoice[item.widget] = box(item.widget)->currentIndex();
            else
                edit(item.widget)->setText("keep");
        }
        edit("LineEditWUPassVer")->setText("keep");

        DialogAnswerer answerer;
        read(answerer);
        verifyOnlyMessage(answerer, QMessageBox::Critical, "Failed to read settings.");
        QCOMPARE(wire().size(), 3 + 10);
        for (int row = 0; row < items.size(); ++row) {
            const ExpectedItem &item = items[row];
            if (item.kind == 'C')
                QCOMPARE(box(item.widget)->currentIndex(),
                         row < 9 ? formChoice(item.widget) : initialChoice[item.widget]);
            else if (row < 9)
                QCOMPARE(edit(item.widget)->text(), QString(moduleText(item.index)));
            else
                QCOMPARE(edit(item.widget)->text(), QString("keep"));
        }
        QCOMPARE(edit("LineEditWUPassVer")->text(), QString("keep"));
        QVERIFY(window->findChild<QProgressDialog *>() == nullptr);
    }
};

QTEST_MAIN(ConfigTransferTest)
#include "tst_configtransfer.moc"
