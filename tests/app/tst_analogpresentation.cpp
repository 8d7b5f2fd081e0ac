#include "app/talvik.h"
#include "tests/support/testenvironment.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace
{

const QString Degrees = QString(QChar(0x00B0));
const QStringList Rows = {"A", "B", "C", "D", "Ref"};

// Everything the presentation may change on one channel, for comparing the
// channel before and after.
struct ChannelState {
    QList<bool> hidden;
    QStringList texts;
    QStringList unitItems;
    int unitIndex = -1;

    bool operator==(const ChannelState &other) const
    {
        return hidden == other.hidden && texts == other.texts && unitItems == other.unitItems &&
               unitIndex == other.unitIndex;
    }
};

} // namespace

class AnalogPresentationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Talvik> window;

    template <typename T> T *widget(const QString &name)
    {
        T *found = window->findChild<T *>(name);
        if (found == nullptr)
            qFatal("no widget %s", qPrintable(name));
        return found;
    }

    // Widgets of channel "AN1" or "AN2".
    QComboBox *typeBox(const QString &ch) { return widget<QComboBox>("ComboBox" + ch + "Type"); }
    QComboBox *unitsBox(const QString &ch) { return widget<QComboBox>("ComboBox" + ch + "Units"); }
    QLineEdit *unitsField(const QString &ch)
    {
        return widget<QLineEdit>("LineEdit" + ch + "Units");
    }
    QLabel *unitsLabel(const QString &ch) { return widget<QLabel>("Label" + ch + "Units"); }
    QLabel *label(const QString &ch, const QString &row)
    {
        return widget<QLabel>("Label" + ch + row);
    }
    QLineEdit *field(const QString &ch, const QString &row)
    {
        return widget<QLineEdit>("LineEdit" + ch + row);
    }

    QStringList fieldTexts(const QString &ch)
    {
        QStringList texts;
        for (const QString &row : Rows)
            texts.append(field(ch, row)->text());
        return texts;
    }

    QStringList labelTexts(const QString &ch, const QStringList &rows)
    {
        QStringList texts;
        for (const QString &row : rows)
            texts.append(label(ch, row)->text());
        return texts;
    }

    // True when label and field of every row given have the visibility asked.
    bool rowsShown(const QString &ch, const QStringList &rows, bool shown)
    {
        for (const QString &row : rows)
            if (label(ch, row)->isHidden() == shown || field(ch, row)->isHidden() == shown)
                return false;
        return true;
    }

    QStringList unitItems(const QString &ch)
    {
        QStringList items;
        for (int i = 0; i < unitsBox(ch)->count(); ++i)
            items.append(unitsBox(ch)->itemText(i));
        return items;
    }

    ChannelState stateOf(const QString &ch)
    {
        ChannelState state;
        state.hidden = {unitsLabel(ch)->isHidden(), unitsBox(ch)->isHidden(),
                        unitsField(ch)->isHidden()};
        for (const QString &row : Rows)
            state.hidden << label(ch, row)->isHidden() << field(ch, row)->isHidden();
        state.texts = labelTexts(ch, Rows) + fieldTexts(ch);
        state.texts << unitsLabel(ch)->text() << unitsField(ch)->text();
        state.unitItems = unitItems(ch);
        state.unitIndex = unitsBox(ch)->currentIndex();
        return state;
    }

    void verifySoilTemperature(const QString &ch)
    {
        QVERIFY(!unitsLabel(ch)->isHidden());
        QVERIFY(!unitsBox(ch)->isHidden());
        QVERIFY(unitsField(ch)->isHidden());
        QCOMPARE(unitItems(ch), QStringList({Degrees + "C", Degrees + "F"}));
        QCOMPARE(unitsBox(ch)->currentIndex(), 0);
        QVERIFY(rowsShown(ch, Rows, true));
        QCOMPARE(labelTexts(ch, Rows), QStringList({"A:", "B:", "C:", "D:", "Ref:"}));
        QCOMPARE(fieldTexts(ch), QStringList({"0.001116401", "0.000237983", "-3.722832e-07",
                                              "9.906323e-08", "10000"}));
    }

    void verifyStraightLine(const QString &ch, const QString &slope, const QString &offset)
    {
        QVERIFY(!unitsLabel(ch)->isHidden());
        QVERIFY(rowsShown(ch, {"A", "B"}, true));
        QVERIFY(rowsShown(ch, {"C", "D", "Ref"}, false));
        QCOMPARE(labelTexts(ch, {"A", "B"}), QStringList({"Slope:", "Offset:"}));
        QCOMPARE(fieldTexts(ch), QStringList({slope, offset, "0", "0", "0"}));
    }

    // The data of every test that runs on each channel.
    void channel_data()
    {
        QTest::addColumn<QString>("ch");
        QTest::addColumn<QString>("other");
        QTest::newRow("Analog 1") << "AN1"
                                  << "AN2";
        QTest::newRow("Analog 2") << "AN2"
                                  << "AN1";
    }

private slots:
    void initTestCase() { testenv::isolateSettings(); }

    void init()
    {
        window = std::make_unique<Talvik>();
        window->show();
    }

    void cleanup() { window.reset(); }

    void bothChannelsStartWithOnlyTheTypeRow()
    {
        for (const QString ch : {"AN1", "AN2"}) {
            QCOMPARE(typeBox(ch)->currentIndex(), 0);
            QVERIFY(!typeBox(ch)->isHidden());
            QVERIFY(unitsLabel(ch)->isHidden());
            QVERIFY(unitsBox(ch)->isHidden());
            QVERIFY(unitsField(ch)->isHidden());
            QVERIFY(rowsShown(ch, Rows, false));
            QCOMPARE(unitsBox(ch)->count(), 0);
            QCOMPARE(unitsLabel(ch)->text(), QString("Display Units:"));
        }
        for (const char *name : {"LabelWUPass", "LabelEmailPass", "LabelFTPPass"})
            QVERIFY(widget<QLabel>(name)->isHidden());
    }

    void typeChangesRefillLabelsRowsAndDefaults_data() { channel_data(); }
    void typeChangesRefillLabelsRowsAndDefaults()
    {
        QFETCH(QString, ch);
        QFETCH(QString, other);
        const ChannelState untouched = stateOf(other);

        typeBox(ch)->setCurrentIndex(1);
        verifySoilTemperature(ch);

        field(ch, "A")->setText("123");
        field(ch, "Ref")->setText("4700");
        unitsBox(ch)->setCurrentIndex(1);
        typeBox(ch)->setCurrentIndex(2);
        QCOMPARE(unitItems(ch), QStringList({"%"}));
        QCOMPARE(unitsBox(ch)->currentIndex(), 0);
        QVERIFY(!unitsBox(ch)->isHidden());
        QVERIFY(unitsField(ch)->isHidden());
        verifyStraightLine(ch, "1.19", "-0.4");

        // Back to soil temperature: whatever was typed gives way to defaults.
        field(ch, "A")->setText("9");
        typeBox(ch)->setCurrentIndex(1);
        verifySoilTemperature(ch);

        typeBox(ch)->setCurrentIndex(3);
        QCOMPARE(unitItems(ch), QStringList({"W/m^2"}));
        QCOMPARE(unitsBox(ch)->currentIndex(), 0);
        verifyStraightLine(ch, "5000", "0");
        QCOMPARE(unitsLabel(ch)->text(), QString("Display Units:"));

        QVERIFY(stateOf(other) == untouched);
    }

    void customEmptiesUnitsFieldAndKeepsUnitItems_data() { channel_data(); }
    void customEmptiesUnitsFieldAndKeepsUnitItems()
    {
        QFETCH(QString, ch);
        typeBox(ch)->setCurrentIndex(1);
        unitsBox(ch)->setCurrentIndex(1);
        unitsField(ch)->setText("stale");

        typeBox(ch)->setCurrentIndex(4);
        QVERIFY(!unitsField(ch)->isHidden());
        QVERIFY(unitsBox(ch)->isHidden());
        QCOMPARE(unitsField(ch)->text(), QString());
        QCOMPARE(unitItems(ch), QStringList({Degrees + "C", Degrees + "F"}));
        QCOMPARE(unitsBox(ch)->currentIndex(), 1);
        verifyStraightLine(ch, "1", "0");

        unitsField(ch)->setText("mV");
        typeBox(ch)->setCurrentIndex(0);
        QCOMPARE(unitsField(ch)->text(), QString("mV"));
        typeBox(ch)->setCurrentIndex(4);
        QCOMPARE(unitsField(ch)->text(), QString());
        QVERIFY(!unitsField(ch)->isHidden());
    }

    void noneHidesEverythingAndKeepsTexts_data() { channel_data(); }
    void noneHidesEverythingAndKeepsTexts()
    {
        QFETCH(QString, ch);
        typeBox(ch)->setCurrentIndex(1);
        field(ch, "B")->setText("0.5");
        const ChannelState before = stateOf(ch);

        typeBox(ch)->setCurrentIndex(0);
        const ChannelState after = stateOf(ch);
        QVERIFY(!after.hidden.contains(false));
        QCOMPARE(after.texts, before.texts);
        QCOMPARE(after.unitItems, before.unitItems);
        QCOMPARE(after.unitIndex, before.unitIndex);
        QVERIFY(!typeBox(ch)->isHidden());
    }

    void globeTempAndOtherIndexesLeaveTheChannelAsItWas_data() { channel_data(); }
    void globeTempAndOtherIndexesLeaveTheChannelAsItWas()
    {
        QFETCH(QString, ch);
        for (int previous : {1, 2, 4}) {
            typeBox(ch)->setCurrentIndex(previous);
            field(ch, "A")->setText("7.25");
            unitsField(ch)->setText("lux");
            const ChannelState before = stateOf(ch);

            typeBox(ch)->setCurrentIndex(5);
            QVERIFY(stateOf(ch) == before);
            typeBox(ch)->setCurrentIndex(-1);
            QVERIFY(stateOf(ch) == before);
            // Indexes the box cannot hold, straight into its slot.
            const QByteArray slot = "on_ComboBox" + ch.toLatin1() + "Type_currentIndexChanged";
            QVERIFY(QMetaObject::invokeMethod(window.get(), slot.constData(), Q_ARG(int, 6)));
            QVERIFY(QMetaObject::invokeMethod(window.get(), slot.constData(), Q_ARG(int, -1)));
            QVERIFY(stateOf(ch) == before);
        }
    }

    void passwordWarningFollowsItsPair_data()
    {
        QTest::addColumn<QString>("service");
        QTest::newRow("Weather Underground") << "WU";
        QTest::newRow("Email") << "Email";
        QTest::newRow("FTP") << "FTP";
    }

    void passwordWarningFollowsItsPair()
    {
        QFETCH(QString, service);
        QLineEdit *password = widget<QLineEdit>("LineEdit" + service + "Pass");
        QLineEdit *verify = widget<QLineEdit>("LineEdit" + service + "PassVer");
        QLabel *warning = widget<QLabel>("Label" + service + "Pass");
        QList<QLabel *> others;
        for (const QString name : {"WU", "Email", "FTP"})
            if (name != service)
                others.append(widget<QLabel>("Label" + name + "Pass"));

        QTest::keyClicks(password, "k3y");
        QVERIFY(!warning->isHidden());
        QTest::keyClicks(verify, "k3y");
        QVERIFY(warning->isHidden());
        QTest::keyClick(verify, Qt::Key_Backspace);
        QVERIFY(!warning->isHidden());
        QTest::keyClicks(verify, "Y");
        QVERIFY(!warning->isHidden());
        verify->setText("k3y");
        QVERIFY(warning->isHidden());
        QTest::keyClick(password, Qt::Key_Backspace);
        QVERIFY(!warning->isHidden());
        password->clear();
        verify->clear();
        QVERIFY(warning->isHidden());

        for (QLabel *label : others)
            QVERIFY(label->isHidden());
    }
};

QTEST_MAIN(AnalogPresentationTest)
#include "tst_analogpresentation.moc"
