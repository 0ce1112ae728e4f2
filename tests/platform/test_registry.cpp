// The registry stand-in: Windows error codes, handles, values.
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"
#include "support/TestEnv.h"

using namespace vb;

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void init() { RegResetForTest(); }

    void openQueryClose()
    {
        RegCreateKeyForTest(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), QString(),
                            QStringLiteral("default"));
        RegCreateKeyForTest(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), QStringLiteral("Lang"),
                            QStringLiteral("SV"));
        HKEY key = 0;
        QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, QStringLiteral("software\\PLANUM"), 0, KEY_READ, &key),
                 long(ERROR_SUCCESS));
        QVERIFY(key != 0);
        long size = 2;
        QString value;
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("lang"), nullptr, &value, &size), long(ERROR_MORE_DATA));
        QCOMPARE(size, 3L);
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("lang"), nullptr, &value, &size), long(ERROR_SUCCESS));
        QCOMPARE(value, QStringLiteral("SV"));
        size = 2;
        QCOMPARE(RegQueryValue(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), &value, &size),
                 long(ERROR_MORE_DATA));
        QCOMPARE(size, 8L);
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("none"), nullptr, &value, &size), long(ERROR_FILE_NOT_FOUND));
        QCOMPARE(RegCloseKey(key), long(ERROR_SUCCESS));
        QCOMPARE(RegCloseKey(key), long(ERROR_INVALID_HANDLE));
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("lang"), nullptr, &value, &size), long(ERROR_INVALID_HANDLE));
    }

    void importFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<long>("status");
        QTest::addColumn<int>("badLine");
        QTest::addColumn<QString>("lang"); // HKCU\Software\Planum "Lang" afterwards; null: no key
        QTest::newRow("values, default, escapes, comments")
            << QByteArray("REGEDIT4\n\n; a comment\n[HKEY_CURRENT_USER\\Software\\Planum]\n"
                          "@=\"def\"\n\"Lang\"=\"S\\\\V \\\"x\\\"\"\n")
            << long(ERROR_SUCCESS) << 0 << QStringLiteral("S\\V \"x\"");
        QTest::newRow("version 5 header, short root, empty value")
            << QByteArray("Windows Registry Editor Version 5.00\r\n[HKCU\\Software\\Planum]\r\n\"Lang\"=\"\"\r\n")
            << long(ERROR_SUCCESS) << 0 << QStringLiteral("");
        QTest::newRow("no header") << QByteArray("[HKEY_CURRENT_USER\\Software\\Planum]\n")
                                   << long(ERROR_INVALID_PARAMETER) << 1 << QString();
        QTest::newRow("unknown root, nothing imported")
            << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Planum]\n\"Lang\"=\"SV\"\n[HKEY_NOWHERE\\x]\n")
            << long(ERROR_INVALID_PARAMETER) << 4 << QString();
        QTest::newRow("a number value") << QByteArray("REGEDIT4\n[HKCU\\Software\\Planum]\n\"Lang\"=dword:00000001\n")
                                        << long(ERROR_INVALID_PARAMETER) << 3 << QString();
        QTest::newRow("value before any key")
            << QByteArray("REGEDIT4\n\"Lang\"=\"SV\"\n") << long(ERROR_INVALID_PARAMETER) << 2 << QString();
        QTest::newRow("text after the value") << QByteArray("REGEDIT4\n[HKCU\\Software\\Planum]\n\"Lang\"=\"SV\" x\n")
                                              << long(ERROR_INVALID_PARAMETER) << 3 << QString();
    }
    void importFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(long, status);
        QFETCH(int, badLine);
        QFETCH(QString, lang);
        const QString path = testenv::Root() + QStringLiteral("/import.reg");
        QVERIFY(testenv::WriteFile(path, text));
        int line = 0;
        QCOMPARE(RegImportFile(path, &line), status);
        QCOMPARE(line, badLine);
        HKEY key = 0;
        const long open = RegOpenKey(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), &key);
        if (lang.isNull()) {
            QCOMPARE(open, long(ERROR_FILE_NOT_FOUND));
            return;
        }
        QCOMPARE(open, long(ERROR_SUCCESS));
        long size = 100;
        QString value;
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("LANG"), nullptr, &value, &size), long(ERROR_SUCCESS));
        QCOMPARE(value, lang);
        RegCloseKey(key);
    }

    void importMissingFile()
    {
        QCOMPARE(RegImportFile(testenv::Root() + QStringLiteral("/none.reg")), long(ERROR_FILE_NOT_FOUND));
    }

    void commonAppDataFromTheRegistry()
    {
        qputenv("XDG_DATA_DIRS", "/from/xdg:/usr/share");
        QCOMPARE(SpecialFolderPath(CSIDL_COMMON_APPDATA), QStringLiteral("/from/xdg"));
        RegCreateKeyForTest(HKEY_LOCAL_MACHINE, ShellFoldersKey(), CommonAppDataValue(),
                            QStringLiteral("/opt/almbro/share/"));
        QCOMPARE(SpecialFolderPath(CSIDL_COMMON_APPDATA), QStringLiteral("/opt/almbro/share"));
        qputenv("XDG_DATA_DIRS", (testenv::Root() + QStringLiteral("/share")).toUtf8());
    }
};

ALMBRO_TEST_MAIN(TestRegistry)
#include "test_registry.moc"
