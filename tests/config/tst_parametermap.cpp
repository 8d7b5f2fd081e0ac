#include "app/parameterwidgets.h"
#include "config/parametermap.h"
#include "tests/config/configfixture.h"
#include "ui_talvik.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

using config::Kind;
using config::ParameterMap;

Q_DECLARE_METATYPE(config::ValueFault)

class ParameterMapTest : public QObject
{
    Q_OBJECT

private slots:
    void mapHoldsTheModulesItemsInOrder()
    {
        const QVector<ExpectedItem> &items = expectedItems();
        QCOMPARE(config::ParameterCount, 53);
        QCOMPARE(items.size(), config::ParameterCount);
        const QMap<Kind, char> kinds = {{Kind::Float, 'F'},
                                        {Kind::Choice, 'C'},
                                        {Kind::Port, 'P'},
                                        {Kind::Text, 'T'},
                                        {Kind::Password, 'W'}};
        for (int i = 0; i < config::ParameterCount; ++i) {
            const config::Parameter &parameter = ParameterMap[i];
            QCOMPARE(QString(parameter.widget), QString(items[i].widget));
            QCOMPARE(parameter.index, items[i].index);
            QCOMPARE(kinds.value(parameter.kind), items[i].kind);
            QCOMPARE(QString(parameter.fileKey), QString(items[i].fileKey));
        }
    }

    void fileKeysAreTheFortyNineInTheirOrder()
    {
        const QStringList expected = {"ID",
                                      "CellAPN",
                                      "ServiceCell",
                                      "NorvaleLive",
                                      "LogRate",
                                      "LogEmail",
                                      "LogFTP",
                                      "FanMode",
                                      "TempUnits",
                                      "TempSlope",
                                      "TempOffset",
                                      "HumidSlope",
                                      "HumidOffset",
                                      "PressUnits",
                                      "PressAlt",
                                      "PressSlope",
                                      "PressOffset",
                                      "WindUnits",
                                      "WindSlope",
                                      "WindOffset",
                                      "AN1Type",
                                      "AN1Units",
                                      "AN1A",
                                      "AN1B",
                                      "AN1C",
                                      "AN1D",
                                      "AN1R",
                                      "AN1Units2",
                                      "AN2Type",
                                      "AN2Units",
                                      "AN2A",
                                      "AN2B",
                                      "AN2C",
                                      "AN2D",
                                      "AN2R",
                                      "AN2Units2",
                                      "RainType",
                                      "RainInc",
                                      "WURate",
                                      "WUUser",
                                      "EmailTo",
                                      "EmailFrom",
                                      "EmailServer",
                                      "EmailUser",
                                      "FTPServer",
                                      "FTPUser",
                                      "LightningInstalled",
                                      "WiFiAP",
                                      "WiFiPass"};
        QStringList keys;
        for (const config::Parameter &parameter : ParameterMap)
            if (parameter.fileKey != nullptr)
                keys.append(QString::fromLatin1(parameter.fileKey));
        QCOMPARE(keys, expected);
        QCOMPARE(config::fileParameterCount(), 49);
        QCOMPARE(config::readableParameterCount(), 49);
    }

    void defaultsAreSlopesOneOffsetsZeroChoicesNoneRestEmpty()
    {
        for (const config::Parameter &parameter : ParameterMap) {
            if (parameter.fileKey == nullptr)
                continue;
            const QString key = parameter.fileKey;
            const QVariant value = config::fileDefault(parameter);
            if (parameter.kind == Kind::Choice) {
                QCOMPARE(value.type(), QVariant::Int);
                QCOMPARE(value.toInt(), 0);
            } else if (key.endsWith("Slope")) {
                QCOMPARE(value.toString(), QString("1"));
            } else if (key.endsWith("Offset") || key == "PressAlt") {
                QCOMPARE(value.toString(), QString("0"));
            } else {
                QVERIFY2(value.toString().isEmpty(), parameter.fileKey);
            }
        }
    }

    void everyItemHasAWidgetOfItsKindInTheForm()
    {
        QMainWindow window;
        Ui::TalvikClass form;
        form.setupUi(&window);
        const QVector<QWidget *> widgets = binding::parameterWidgets(form);
        QCOMPARE(widgets.size(), config::ParameterCount);
        for (int i = 0; i < config::ParameterCount; ++i) {
            QWidget *widget = widgets[i];
            QVERIFY2(widget != nullptr, ParameterMap[i].widget);
            QCOMPARE(widget->objectName(), QString(ParameterMap[i].widget));
            if (ParameterMap[i].kind == Kind::Choice) {
                QVERIFY(qobject_cast<QComboBox *>(widget) != nullptr);
            } else {
                QVERIFY(qobject_cast<QLineEdit *>(widget) != nullptr);
                // What a file may hold is what the form's field holds.
                QCOMPARE(ParameterMap[i].maxLength, qobject_cast<QLineEdit *>(widget)->maxLength());
            }
        }
    }

    void valuesTheFormCannotHoldAreFound_data()
    {
        using config::ValueFault;
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("items"); // a Choice's box
        QTest::addColumn<ValueFault>("fault");
        QTest::newRow("last item") << "ComboBoxLogRate"
                                   << "8" << 9 << ValueFault::None;
        QTest::newRow("past the items") << "ComboBoxLogRate"
                                        << "999" << 9 << ValueFault::NotAnItem;
        QTest::newRow("no number") << "ComboBoxFan"
                                   << "abc" << 3 << ValueFault::NotWholeNumber;
        QTest::newRow("empty units box takes any number") << "ComboBoxAN1Units"
                                                          << "7" << 0 << ValueFault::None;
        QTest::newRow("ID of 21") << "LineEditID" << QString(21, 'x') << 0 << ValueFault::TooLong;
        QTest::newRow("past Latin-1")
            << "LineEditAN1Units" << QString::fromUtf8("\u20ac") << 0 << ValueFault::OutsideLatin1;
        QTest::newRow("float text the writer checks") << "LineEditTempSlope"
                                                      << "abc" << 0 << ValueFault::None;
        QTest::newRow("largest float") << "LineEditAN1A"
                                       << "3.402823e+38" << 0 << ValueFault::None;
        QTest::newRow("inf") << "LineEditAN1A"
                             << "inf" << 0 << ValueFault::NotFinite;
        QTest::newRow("nan") << "LineEditRainInc"
                             << "nan" << 0 << ValueFault::NotFinite;
        QTest::newRow("past the float range") << "LineEditPressAlt"
                                              << "1e39" << 0 << ValueFault::NotFinite;
        QTest::newRow("past the double range") << "LineEditPressAlt"
                                               << "1e400" << 0 << ValueFault::NotFinite;
        QTest::newRow("float of 16") << "LineEditWindSlope"
                                     << "1.00000000000000" << 0 << ValueFault::TooLong;
    }

    void valuesTheFormCannotHoldAreFound()
    {
        QFETCH(QString, widget);
        QFETCH(QString, text);
        QFETCH(int, items);
        QFETCH(config::ValueFault, fault);
        QCOMPARE(config::fileValueFault(*config::parameterOf(widget), text, items), fault);
    }

    void floatsShowSevenSignificantDigits_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.1 not its expansion") << 0.1f << "0.1";
        QTest::newRow("one") << 1.0f << "1";
        QTest::newRow("negative") << -0.4f << "-0.4";
        QTest::newRow("rounded") << 3.14159265f << "3.141593";
        QTest::newRow("below 1e7") << 9999999.0f << "9999999";
        QTest::newRow("1e7") << 1.0e7f << "1e+07";
        QTest::newRow("large") << 123456789.0f << "1.234568e+08";
        QTest::newRow("1e-4") << 0.0001f << "0.0001";
        QTest::newRow("below 1e-4") << 0.0000123456f << "1.23456e-05";
        QTest::newRow("tiny coefficient") << -3.72283234e-07f << "-3.722832e-07";
    }

    void floatsShowSevenSignificantDigits()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(config::floatToText(value), text);
    }

    void floatTextThatIsNoNumberIsZero()
    {
        QCOMPARE(config::floatFromText("abc"), 0.0f);
        QCOMPARE(config::floatFromText(""), 0.0f);
        QCOMPARE(config::floatFromText("1,5"), 0.0f);
        QCOMPARE(config::floatFromText("1.19"), 1.19f);
        QCOMPARE(config::floatFromText("-3.722832e-07"), -3.722832e-07f);
    }

    void choicesOutsideTheItemsSelectNothingAndSendAllOnes()
    {
        QCOMPARE(config::choiceIndex(8, 9), 8);
        QCOMPARE(config::choiceIndex(9, 9), -1);
        QCOMPARE(config::choiceIndex(-1, 9), -1);
        QCOMPARE(config::choiceIndex(0, 0), -1);
        QCOMPARE(config::choiceToWire(-1), 0xFFFF);
        QCOMPARE(config::choiceToWire(4), 4);
        QCOMPARE(config::choiceFromFile(QVariant("20")), 20);
        QCOMPARE(config::choiceFromFile(QVariant("abc")), 0);
        QCOMPARE(config::choiceFromFile(QVariant("-1")), -1);
    }

    void highPortsComeBackUnchanged()
    {
        // 40000 arrives sign-extended, shows negative and goes out as it came.
        QCOMPARE(config::portToText(40000 - 65536), QString("-25536"));
        QCOMPARE(config::portToWire("-25536"), 40000);
        QCOMPARE(config::portToWire("587"), 587);
        QCOMPARE(config::portToWire("smtp"), 0);
        QCOMPARE(config::portToWire(""), 0);
    }
};

QTEST_MAIN(ParameterMapTest)
#include "tst_parametermap.moc"
