#include "core/switchesfile.h"
#include "tests/support/testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSwitchesFile : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { testenv::removeTalvikIni(); }

    void theFileBesideTheProgramWinsWheneverItExists_data()
    {
        QTest::addColumn<QString>("beside"); // what is named Talvik.ini beside the program
        QTest::addColumn<bool>("systemExists");
        QTest::addColumn<bool>("besideChosen");
        QTest::newRow("nothing anywhere") << QString() << false << false;
        QTest::newRow("only the system's") << QString() << true << false;
        QTest::newRow("only beside") << QString("file") << false << true;
        QTest::newRow("both") << QString("file") << true << true;
        QTest::newRow("an empty file beside") << QString("empty") << true << true;
        QTest::newRow("a folder beside") << QString("folder") << true << true;
    }

    void theFileBesideTheProgramWinsWheneverItExists()
    {
        QFETCH(QString, beside);
        QFETCH(bool, systemExists);
        QFETCH(bool, besideChosen);
        QTemporaryDir program;
        QTemporaryDir etc;
        const QString besidePath = program.path() + "/Talvik.ini";
        const QString systemPath = etc.path() + "/Talvik.ini";
        if (beside == "folder") {
            QVERIFY(QDir().mkdir(besidePath));
        } else if (!beside.isEmpty()) {
            QFile file(besidePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (beside == "file")
                file.write("LogErase=true\n");
        }
        if (systemExists) {
            QFile file(systemPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("Development=true\n");
        }
        QCOMPARE(SwitchesFile::choose(program.path(), systemPath),
                 besideChosen ? besidePath : systemPath);
    }

    void theSwitchesBesideAreReadAndAMissingKeyIsOff()
    {
        // This build's system-wide file lies in its own tree, never in the host's /etc.
        QVERIFY2(!QString(TALVIK_SYSTEM_SWITCHES).startsWith("/etc/"), TALVIK_SYSTEM_SWITCHES);
        QCOMPARE(SwitchesFile::path(), QString(TALVIK_SYSTEM_SWITCHES));
        QVERIFY(!SwitchesFile::isOn("Development"));

        testenv::writeTalvikIni("; service switches\nLogErase=true\nDevelopment=0\n");
        QCOMPARE(SwitchesFile::path(), QCoreApplication::applicationDirPath() + "/Talvik.ini");
        QVERIFY(SwitchesFile::isOn("LogErase"));
        QVERIFY(!SwitchesFile::isOn("Development"));
        testenv::writeTalvikIni("LogErase=1\n");
        QVERIFY(SwitchesFile::isOn("LogErase"));
        QVERIFY(!SwitchesFile::isOn("Development"));
    }
};

QTEST_GUILESS_MAIN(TestSwitchesFile)
#include "tst_switchesfile.moc"
