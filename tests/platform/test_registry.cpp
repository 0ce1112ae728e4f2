// The registry stand-in: Windows error codes, handles, values.
#include "platform/Registry.h"
#include "support/TestEnv.h"

using namespace vb;

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void init() { RegResetForTest(); }

    void emptyByDefault()
    {
        HKEY key = 0;
        QCOMPARE(RegOpenKey(HKEY_CURRENT_USER,
                            QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server"), &key),
                 long(ERROR_FILE_NOT_FOUND));
        QCOMPARE(key, HKEY(0));
    }

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
};

ALMBRO_TEST_MAIN(TestRegistry)
#include "test_registry.moc"
