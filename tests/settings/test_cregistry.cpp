// CRegistry's messages and results, and the special folders of cBrowseForFolder.
#include "platform/MsgBox.h"
#include "platform/Registry.h"
#include "settings/CRegistry.h"
#include "settings/cBrowseForFolder.h"
#include "support/BoxAssert.h"
#include "support/TestEnv.h"

#include <QDir>

using namespace vb;

class TestCRegistry : public QObject {
    Q_OBJECT
private slots:
    void init() { RegResetForTest(); }

    void openKeyMessages_data()
    {
        QTest::addColumn<qint32>("root");
        QTest::addColumn<QString>("subKey");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("no root") << qint32(0) << "Software"
                                 << "Cannot open key.  No root key handle was specified." << int(vbExclamation);
        QTest::newRow("no sub-key") << qint32(HKEY_CURRENT_USER) << "   "
                                    << "Cannot open key.  No subkey name was specified." << int(vbExclamation);
        QTest::newRow("missing key") << qint32(HKEY_CURRENT_USER) << "Software\\Nothing"
                                     << "Odefinierat I/O fel i register nr 2" << int(vbInformation);
    }
    void openKeyMessages()
    {
        QFETCH(qint32, root);
        QFETCH(QString, subKey);
        QFETCH(QString, message);
        QFETCH(int, icon);
        MsgBoxRecorder recorder;
        CRegistry registry;
        QVERIFY(!registry.OpenKey(root, subKey)); // silent without bShowMsg
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
        QVERIFY(!registry.OpenKey(root, subKey, std::nullopt, 1));
        ALMBRO_EXPECT_BOX(recorder, message, vbOKOnly, icon, "Planum");
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
        QCOMPARE(registry.Key(), 0);
    }

    void openQueryAndClose()
    {
        RegCreateKeyForTest(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum\\Lang"), QString(),
                            QStringLiteral("sized"));
        RegCreateKeyForTest(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), QStringLiteral("Lang"),
                            QStringLiteral("SV"));
        MsgBoxRecorder recorder;
        CRegistry registry;
        QVERIFY(!registry.CloseKey(1)); // nothing open
        QVERIFY(registry.OpenKey(HKEY_CURRENT_USER, QStringLiteral("Software\\Planum"), KEY_READ));
        QVERIFY(registry.Key() != 0);
        QCOMPARE(registry.QueryKey(QStringLiteral("Lang"), REG_SZ), QStringLiteral("SV"));
        QCOMPARE(registry.QueryKey(QStringLiteral("Missing"), REG_SZ, 1), QString());
        ALMBRO_EXPECT_BOX(recorder, "Odefinierat I/O fel i register nr 2", vbOKOnly, vbInformation, "Planum");
        // Opening a second key closes the first.
        const qint32 first = registry.Key();
        QVERIFY(registry.OpenKey(HKEY_CURRENT_USER, QStringLiteral("Software")));
        QCOMPARE(RegCloseKey(first), long(ERROR_INVALID_HANDLE));
        QVERIFY(registry.CloseKey());
        QCOMPARE(registry.Key(), 0);
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void specialFolders()
    {
        const QString documents = qEnvironmentVariable("HOME") + QStringLiteral("/Documents");
        QDir(documents).removeRecursively();
        QCOMPARE(cBrowseForFolder::GetFolderPath(5), documents);
        QVERIFY(QFileInfo(documents).isDir());

        const QString shared = testenv::Root() + QStringLiteral("/share/deeper/data");
        qputenv("XDG_DATA_DIRS", (shared + QStringLiteral(":/usr/share")).toUtf8());
        QCOMPARE(cBrowseForFolder::GetFolderPath(35), shared);
        QVERIFY(QFileInfo(shared).isDir());

        QCOMPARE(cBrowseForFolder::GetFolderPath(7), QStringLiteral("NO!"));
        // A folder that is the root leaves nothing to create.
        qputenv("XDG_DATA_DIRS", "/");
        QCOMPARE(cBrowseForFolder::GetFolderPath(35), QStringLiteral("NO!"));
        qputenv("XDG_DATA_DIRS", (testenv::Root() + QStringLiteral("/share")).toUtf8());
    }

    void createPathMakesEachLevel()
    {
        const QString base = testenv::Root() + QStringLiteral("/levels");
        QVERIFY(cBrowseForFolder::CreatePath(base + QStringLiteral("/first/second")));
        QVERIFY(QFileInfo(base + QStringLiteral("/first")).isDir());
        QVERIFY(QFileInfo(base + QStringLiteral("/first/second")).isDir());
        // Existing levels are no failure.
        QVERIFY(cBrowseForFolder::CreatePath(base + QStringLiteral("/first/second/")));
        QVERIFY(!cBrowseForFolder::CreatePath(QStringLiteral("/")));
    }
};

ALMBRO_TEST_MAIN(TestCRegistry)
#include "test_cregistry.moc"
