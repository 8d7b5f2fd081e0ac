#include "app/talvik.h"
#include "sim/simdevice.h"
#include "sim/simulatedmodule.h"
#include "tests/config/modulevalues.h"
#include "tests/support/dialoganswerer.h"
#include "tests/support/testenvironment.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

// The checks a write makes of the form before it asks whether to go on: a
// field the module would get wrong stops it, naming the field and its page.
class WriteFieldChecksTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    static sim::SimulatedModule &module() { return sim::module(); }

    bool open()
    {
        window = testenv::openConnectedWindow();
        return window != nullptr;
    }

    QLineEdit *edit(const char *name) { return window->findChild<QLineEdit *>(name); }
    QComboBox *box(const char *name) { return window->findChild<QComboBox *>(name); }

    void fillNumbers()
    {
        for (const ExpectedItem &item : expectedItems())
            if (item.kind == 'F')
                edit(item.widget)->setText("1");
    }

    void write(DialogAnswerer &answerer)
    {
        answerer.pressButton(QMessageBox::Ok);
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonWrite")->click();
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }
    void init() { sim::freshModule(false); }

    void cleanup()
    {
        window.reset();
        sim::reset();
    }

    void fieldTheUnitWouldGetWrongStopsTheWriteBeforeTheQuestion_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString number = "The field \"%1\" on the page \"%2\" needs a real number. "
                               "Nothing was written to the unit.";
        const QString port = "The field \"Server Port\" on the page \"Email\" needs a port number "
                             "from 0 to 65535, or nothing to keep the port of the unit. Nothing "
                             "was written to the unit.";
        const QString text = "The field \"%1\" on the page \"%2\" holds characters that the unit "
                             "cannot store. Nothing was written to the unit.";
        QTest::newRow("empty slope") << "LineEditTempSlope"
                                     << "" << number.arg("Temperature Slope", "TPH");
        QTest::newRow("decimal comma") << "LineEditPressOffset"
                                       << "1,5" << number.arg("Pressure Offset", "TPH");
        QTest::newRow("past the float range") << "LineEditWindSlope"
                                              << "1e39" << number.arg("Wind Speed Slope", "Wind");
        QTest::newRow("below the float range")
            << "LineEditPressAlt"
            << "-3.5e38" << number.arg("Pressure Altitude (m)", "TPH");
        QTest::newRow("inf") << "LineEditRainInc"
                             << "inf" << number.arg("Increment", "Rain");
        QTest::newRow("nan") << "LineEditHumidSlope"
                             << "nan" << number.arg("Humidity Slope", "TPH");
        // The label reads as the channel's type made it.
        QTest::newRow("shown analog row") << "LineEditAN1A"
                                          << "abc" << number.arg("Analog 1 Slope", "Analog");
        QTest::newRow("port past 16 bits") << "LineEditEmailServerPort"
                                           << "65536" << port;
        QTest::newRow("port below the read-back range") << "LineEditEmailServerPort"
                                                        << "-32769" << port;
        QTest::newRow("port not a number") << "LineEditEmailServerPort"
                                           << "25a" << port;
        QTest::newRow("text outside Latin-1")
            << "LineEditEmailServer" << QString::fromUtf8("mail\u20ac.example")
            << text.arg("Server", "Email");
        QTest::newRow("password outside Latin-1")
            << "LineEditWiFiPass" << QString::fromUtf8("p\u00e4ss\U0001F600")
            << text.arg("WiFi Password", "Cell / WiFi");
    }

    void fieldTheUnitWouldGetWrongStopsTheWriteBeforeTheQuestion()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QVERIFY(open());
        fillNumbers();
        box("ComboBoxAN1Type")->setCurrentIndex(2);
        edit("LineEditEmailServerPort")->setText("587");
        edit(qPrintable(field))->setText(text);
        // The field's page need not be the one in front.
        auto *tabs = window->findChild<QTabWidget *>("TabWidget");
        tabs->setCurrentIndex(tabs->count() - 1);

        DialogAnswerer answerer;
        answerer.pressButton(QMessageBox::Ok);
        window->findChild<QPushButton *>("ButtonWrite")->click();
        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(answerer.messages()[0].text, message);
        QCOMPARE(answerer.messages()[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.messages()[0].title, QString("Talvik"));
        QVERIFY(answerer.messages()[0].expected);
        QVERIFY(sim::writtenReports().empty());
    }

    void choiceBoxShowingNoItemStopsTheWrite_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("typeAfterLoad"); // -1: as the file left it
        QTest::addColumn<QString>("message");   // empty: written, the units as 0xFFFF
        const QString none = "The field \"%1\" on the page \"%2\" shows none of its items; "
                             "choose one. Nothing was written to the unit.";
        QTest::newRow("log rate past its items")
            << QByteArray("LogRate=999\n") << -1 << none.arg("Logging Rate", "General");
        QTest::newRow("soil temperature units past theirs")
            << QByteArray("AN1Type=1\nAN1Units=7\n") << -1
            << none.arg("Analog 1 Display Units", "Analog");
        QTest::newRow("type None hides the box")
            << QByteArray("AN1Type=1\nAN1Units=7\n") << 0 << QString();
        QTest::newRow("custom offers no units")
            << QByteArray("AN1Type=4\nAN1Units=1\n") << -1 << QString();
        QTest::newRow("globe temperature offers no units")
            << QByteArray("AN1Type=5\nAN1Units=1\n") << -1 << QString();
    }

    void choiceBoxShowingNoItemStopsTheWrite()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, typeAfterLoad);
        QFETCH(QString, message);
        QVERIFY(open());
        const QString path = testenv::scratchDirectory() + "/choices.ncm";
        QFile ncm(path);
        QVERIFY(ncm.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ncm.write("[General]\n" + file);
        ncm.close();
        {
            DialogAnswerer loader;
            loader.chooseFile(path);
            window->findChild<QPushButton *>("ButtonLoad")->click();
            QVERIFY(loader.messages().isEmpty());
        }
        if (typeAfterLoad >= 0)
            box("ComboBoxAN1Type")->setCurrentIndex(typeAfterLoad);
        fillNumbers();

        DialogAnswerer answerer;
        write(answerer);
        if (message.isEmpty()) {
            QCOMPARE(answerer.messages().size(), 2);
            QCOMPARE(answerer.messages()[1].text, QString("Settings written to unit."));
            QCOMPARE(module().int16Parameter(0x00D8), quint16(0xFFFF));
            return;
        }
        QCOMPARE(answerer.messages().size(), 1);
        QCOMPARE(answerer.messages()[0].text, message);
        QCOMPARE(answerer.messages()[0].icon, QMessageBox::Critical);
        QVERIFY(sim::writtenReports().empty());
    }

    void emptyPortIsKeptAndHiddenRowsGoOutAsBefore()
    {
        fillModuleWithTestValues();
        QVERIFY(open());
        fillNumbers();
        // Type None hides the first channel's rows: their texts go out unchecked.
        box("ComboBoxAN1Type")->setCurrentIndex(0);
        edit("LineEditAN1A")->setText("abc");
        edit("LineEditAN1Units")->setText(QString::fromUtf8("\u20ac"));
        edit("LineEditTempSlope")->setText("3.402823e+38");
        edit("LineEditID")->setText(QString::fromUtf8("Z\u00fcrich"));
        edit("LineEditEmailServerPort")->clear();

        auto writer = std::make_unique<DialogAnswerer>();
        write(*writer);
        QCOMPARE(writer->messages().size(), 2);
        QCOMPARE(writer->messages()[1].text, QString("Settings written to unit."));
        writer.reset();
        QCOMPARE(module().int16Parameter(0x00E8), quint16(ModulePort));
        QCOMPARE(module().floatParameter(0x0028), 0.0f);
        QCOMPARE(module().textParameter(0x01F4), std::string("?"));
        QCOMPARE(module().floatParameter(0x0000), 3.402823e+38f);
        QCOMPARE(module().textParameter(0x022C), std::string("Z\xfcrich"));
        // The EEPROM query, then every item but the port and the blank passwords.
        QCOMPARE(sim::writtenReports().size(), size_t(1 + 48));

        // A port of 32768 or more reads back negative and goes back unchanged.
        edit("LineEditEmailServerPort")->setText("-32768");
        DialogAnswerer again;
        write(again);
        QCOMPARE(again.messages().size(), 2);
        QCOMPARE(again.messages()[1].text, QString("Settings written to unit."));
        QCOMPARE(module().int16Parameter(0x00E8), quint16(0x8000));
    }
};

QTEST_MAIN(WriteFieldChecksTest)
#include "tst_writefieldchecks.moc"
