// The settings store: one INI file per executable name, keys and sections matched without
// regard to case, delete-all, and values that survive the trip through the file.
#include "core/Settings.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void missingStoreGivesDefaults()
    {
        QTemporaryDir dir;
        Settings s;
        QCOMPARE(s.GetSetting("Form", "Left", "0"), QString("0"));   // no file named at all
        s.setFile(dir.filePath("none/QuorvelMarnisyn.ini"));
        QCOMPARE(s.GetSetting("Form", "Width", "15665"), QString("15665"));
        s.DeleteSetting();                                           // nothing stored: no harm
        QVERIFY(!QFile::exists(s.file()));
    }

    void keysAndSectionsIgnoreCase()
    {
        QTemporaryDir dir;
        Settings s;
        s.setFile(dir.filePath("QuorvelMarnisyn.ini"));
        s.SaveSetting("Parms", "skiporphan", "1");
        QCOMPARE(s.GetSetting("Parms", "SkipOrphan", "0"), QString("1"));
        QCOMPARE(s.GetSetting("PARMS", "SKIPORPHAN", "0"), QString("1"));
        // Writing under another case replaces the value instead of adding a second key.
        s.SaveSetting("parms", "SkipOrphan", "0");
        QCOMPARE(s.GetSetting("Parms", "skiporphan", "x"), QString("0"));
        QSettings raw(s.file(), QSettings::IniFormat);
        QCOMPARE(raw.childGroups().size(), 1);
        raw.beginGroup(raw.childGroups().first());
        QCOMPARE(raw.childKeys().size(), 1);
    }

    // A value that cannot be stored says why, in the system's words: here the settings
    // folder's place is taken by a file.
    void anUnwritableStoreSaysWhy()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Settings s;
        s.setFile(dir.filePath("blocker/QuorvelMarnisyn.ini"));
        QString why;
        QVERIFY(!s.SaveSetting("Form", "Left", "10", &why));
        QCOMPARE(why, platform::systemErrorText(platform::errc::NotFolder));
        QCOMPARE(s.GetSetting("Form", "Left", "0"), QString("0"));
    }

    void deleteAllThenWriteAgain()
    {
        QTemporaryDir dir;
        Settings s;
        s.setFile(dir.filePath("sub/QuorvelMarnisyn.ini"));
        s.SaveSetting("Form", "Left", "10");
        s.SaveSetting("Parms", "Source", "/a/");
        QCOMPARE(s.GetSetting("Form", "Left", "0"), QString("10"));
        s.DeleteSetting();
        QCOMPARE(s.GetSetting("Form", "Left", "0"), QString("0"));
        QCOMPARE(s.GetSetting("Parms", "Source", "-"), QString("-"));
        s.SaveSetting("Parms", "Target", "/b/");
        QCOMPARE(s.GetSetting("Parms", "Target", "-"), QString("/b/"));
        QCOMPARE(s.GetSetting("Form", "Left", "0"), QString("0"));
    }

    void valuesSurviveTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("QuorvelMarnisyn.ini");
        const QStringList values = {
            "/home/me/My Data/", "a, b, c", "\"quoted\"", "back\\slash\\", "  lead and trail  ",
            "Größe/日本/", "semi;colon=equals#hash", "", "@Variant(odd)", "true",
        };
        {
            Settings s;
            s.setFile(file);
            for (int i = 0; i < values.size(); ++i)
                s.SaveSetting("Parms", "Key" + QString::number(i), values[i]);
        }
        Settings again;
        again.setFile(file);
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(again.GetSetting("Parms", "key" + QString::number(i), "<missing>"), values[i]);
    }

    // The store is named after the executable: a renamed executable starts from nothing.
    void namedAfterTheExecutable()
    {
        Settings a, b;
        a.setApplication("QuorvelMarnisyn");
        b.setApplication("Renamed");
        QVERIFY(a.file().endsWith("QuorvelMarnisyn/QuorvelMarnisyn.ini"));
        QVERIFY(b.file().endsWith("Renamed/Renamed.ini"));
        a.SaveSetting("Parms", "Source", "/kept/");
        QCOMPARE(b.GetSetting("Parms", "Source", "-"), QString("-"));
        QCOMPARE(a.GetSetting("Parms", "Source", "-"), QString("/kept/"));
        a.DeleteSetting();
    }

    // A folder whose name is not UTF-8 is stored as its bytes and read back exactly; the file
    // itself stays valid text.
    void byteNameFolderSurvivesTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("QuorvelMarnisyn.ini");
        const QString folder = platform::decodeName(QByteArray("/data/caf\xe9/n\xff/"));
        {
            Settings s;
            s.setFile(file);
            QVERIFY(s.SaveSetting("Parms", "Source", folder));
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(!text.contains("\xef\xbf\xbd"));
        QVERIFY(text.contains("@ByteArray("));
        Settings again;
        again.setFile(file);
        QCOMPARE(platform::encodeName(again.GetSetting("Parms", "source", "-")), QByteArray("/data/caf\xe9/n\xff/"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
