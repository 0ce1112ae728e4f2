// The INI module against the rules of Windows private-profile files.
#include "platform/Ini.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QLockFile>
#include <QProcess>
#include <QSaveFile>
#include <cstdio>

using namespace vb;
using testenv::ReadBytes;

namespace {
QString WriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = testenv::Root() + QLatin1Char('/') + name;
    return testenv::WriteFile(path, bytes) ? path : QString();
}

// One key of a file, "" where it is not there.
QString Get(const char* section, const char* key, const QString& file)
{
    return GetPrivateProfileString(QString::fromUtf8(section), QString::fromUtf8(key), QString(), 255, file);
}

bool Put(const char* section, const char* key, const char* value, const QString& file)
{
    return WritePrivateProfileString(QString::fromUtf8(section), key != nullptr ? QString::fromUtf8(key) : QString(),
                                     value != nullptr ? QString::fromUtf8(value) : QString(), file);
}

QStringList SplitNames(const QString& buffer)
{
    QStringList names = buffer.split(QChar(0));
    while (!names.isEmpty() && names.back().isEmpty())
        names.removeLast();
    return names;
}

const QByteArray kSample = "; settings\r\n"
                           "[System]\r\n"
                           "  Lang =  SV  \r\n"
                           "DataBas1=/data/kund.db\r\n"
                           "\r\n"
                           "[Kund1]\r\n"
                           "Values=optImport=False;optKalender=True\r\n"
                           "Quoted=\"  padded  \"\r\n"
                           "[kund2]\r\n"
                           "Values=x\r\n";
} // namespace

class TestIni : public QObject {
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* section, const char* key, int buffer, const char* expected) {
            QTest::newRow(name) << QString::fromUtf8(section) << QString::fromUtf8(key) << buffer
                                << QString::fromUtf8(expected);
        };
        row("exact", "System", "DataBas1", 255, "/data/kund.db");
        row("section case", "SYSTEM", "DataBas1", 255, "/data/kund.db");
        row("key case and blanks trimmed", "system", "LANG", 255, "SV");
        row("key with blanks asked", "System", " Lang ", 255, "SV");
        row("quotes taken off", "Kund1", "Quoted", 255, "  padded  ");
        row("buffer cuts to n-1", "System", "DataBas1", 6, "/data");
        row("buffer of one", "System", "DataBas1", 1, "");
        row("missing key gives default", "System", "Nothing", 255, "dflt");
        row("missing section gives default", "Nope", "Lang", 255, "dflt");
        row("value with = and ;", "Kund1", "Values", 255, "optImport=False;optKalender=True");
        row("key of another section not seen", "kund2", "Quoted", 255, "dflt");
    }
    void read()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(int, buffer);
        QFETCH(QString, expected);
        const QString file = WriteFile(QStringLiteral("read.ini"), kSample);
        QString out;
        const int n = GetPrivateProfileString(section, key, QStringLiteral("dflt"), out, buffer, file);
        QCOMPARE(out, expected);
        QCOMPARE(n, int(expected.size()));
    }

    void missingFileReadsEmptyAndFirstWriteCreatesIt()
    {
        const QString file = testenv::Root() + QStringLiteral("/new/absent.ini");
        QDir().mkpath(testenv::Root() + QStringLiteral("/new"));
        QCOMPARE(Get("System", "Lang", file), QString());
        QString names;
        QCOMPARE(GetPrivateProfileSectionNames(names, 2048, file), 0);
        QVERIFY(names.isEmpty());
        QVERIFY(!QFile::exists(file));
        QVERIFY(Put("System", "Lang", "EN", file));
        QCOMPARE(ReadBytes(file), QByteArray("[System]\nLang=EN\n"));
    }

    // A file read before is read again once anything changed it: our own write, or another
    // program rewriting it in place with the same size in the same instant.
    void fileChangedSinceTheLastReadIsReadAgain()
    {
        const QString file = WriteFile(QStringLiteral("kept.ini"), "[System]\nLang=EN\n");
        QCOMPARE(Get("System", "Lang", file), QStringLiteral("EN"));
        QVERIFY(Put("System", "Lang", "SV", file));
        QCOMPARE(Get("System", "Lang", file), QStringLiteral("SV"));
        const QDateTime stamp = QFileInfo(file).lastModified();
        WriteFile(QStringLiteral("kept.ini"), "[System]\nLang=DE\n");
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(stamp, QFileDevice::FileModificationTime));
        f.close();
        QCOMPARE(Get("System", "Lang", file), QStringLiteral("DE"));
        QVERIFY(QFile::remove(file));
        QCOMPARE(Get("System", "Lang", file), QString());
    }

    void writeKeepsLayoutAndReplacesInPlace()
    {
        const QString file = WriteFile(QStringLiteral("write.ini"), kSample);
        QVERIFY(Put("KUND1", "values", "new", file));
        QVERIFY(Put("System", "Extra", "1", file));
        QVERIFY(Put("Kund3", "Values", "z", file));
        QCOMPARE(ReadBytes(file), QByteArray("; settings\r\n"
                                             "[System]\r\n"
                                             "  Lang =  SV  \r\n"
                                             "DataBas1=/data/kund.db\r\n"
                                             "Extra=1\r\n"
                                             "\r\n"
                                             "[Kund1]\r\n"
                                             "values=new\r\n"
                                             "Quoted=\"  padded  \"\r\n"
                                             "[kund2]\r\n"
                                             "Values=x\r\n"
                                             "\r\n"
                                             "[Kund3]\r\n"
                                             "Values=z\r\n"));
    }

    void deleteSectionAndKey()
    {
        const QString file = WriteFile(QStringLiteral("delete.ini"), kSample);
        QVERIFY(Put("kund1", nullptr, nullptr, file));
        QVERIFY(Put("System", "lang", nullptr, file));
        QCOMPARE(ReadBytes(file), QByteArray("; settings\r\n"
                                             "[System]\r\n"
                                             "DataBas1=/data/kund.db\r\n"
                                             "\r\n"
                                             "[kund2]\r\n"
                                             "Values=x\r\n"));
        // Deleting what is not there changes nothing.
        QVERIFY(Put("Gone", nullptr, nullptr, file));
        QCOMPARE(Get("kund2", "Values", file), QStringLiteral("x"));
    }

    void sectionNames_data()
    {
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all fit") << 2048 << QStringList{"System", "Kund1", "kund2"};
        // "System\0Kund1\0kund2\0" is 19 characters; a buffer of 20 holds them and the final NUL.
        QTest::newRow("exact fit") << 20 << QStringList{"System", "Kund1", "kund2"};
        QTest::newRow("last name cut") << 19 << QStringList{"System", "Kund1", "kund"};
        QTest::newRow("cut after first") << 9 << QStringList{"System"};
    }
    void sectionNames()
    {
        QFETCH(int, buffer);
        QFETCH(QStringList, expected);
        const QString file = WriteFile(QStringLiteral("names.ini"), kSample + "[SYSTEM]\r\nDup=1\r\n");
        QString out;
        GetPrivateProfileSectionNames(out, buffer, file);
        QVERIFY(out.size() <= buffer - 1);
        QCOMPARE(SplitNames(out), expected);
    }

    void windows1252FallbackAndUtf8()
    {
        // "Göteborg" and "€" as Windows wrote them.
        const QString file =
            WriteFile(QStringLiteral("cp1252.ini"), QByteArray("[Profil]\r\nOrt=G\xF6teborg \x80\r\n"));
        QCOMPARE(Get("profil", "ort", file), QString::fromUtf8("Göteborg €"));
        const QString utf8 = WriteFile(QStringLiteral("utf8.ini"), QByteArray("\xEF\xBB\xBF[Profil]\nOrt=Göteborg\n"));
        QCOMPARE(Get("Profil", "Ort", utf8), QString::fromUtf8("Göteborg"));
        // Rewriting a Windows file keeps its text, now as UTF-8.
        QVERIFY(Put("Profil", "Ny", "å", file));
        QCOMPARE(Get("Profil", "Ort", file), QString::fromUtf8("Göteborg €"));
    }

    void lockedFileFailsWithoutDamage()
    {
        const QString file = WriteFile(QStringLiteral("locked.ini"), kSample);
        QLockFile other(file + QStringLiteral(".lock"));
        QVERIFY(other.lock());
        SetIniLockTimeout(200);
        QVERIFY(!Put("System", "Lang", "EN", file));
        SetIniLockTimeout(-1);
        QVERIFY2(IniLastError().contains(file), qPrintable(IniLastError()));
        QCOMPARE(ReadBytes(file), kSample);
    }

    void unwritableFolderFails()
    {
        const QString file = testenv::Root() + QStringLiteral("/no/such/folder/x.ini");
        QVERIFY(!Put("A", "b", "c", file));
        QVERIFY(!IniLastError().isEmpty());
    }

    void twoProcessesWritingLoseNothing()
    {
        const QString file = testenv::Root() + QStringLiteral("/concurrent.ini");
        QProcess a, b;
        const QString self = QCoreApplication::applicationFilePath();
        a.start(self, {QStringLiteral("--write-keys"), file, QStringLiteral("A")});
        b.start(self, {QStringLiteral("--write-keys"), file, QStringLiteral("B")});
        QVERIFY(a.waitForFinished(240000));
        QVERIFY(b.waitForFinished(240000));
        QVERIFY2(a.exitCode() == 0, a.readAllStandardError().constData());
        QVERIFY2(b.exitCode() == 0, b.readAllStandardError().constData());
        int found = 0;
        for (const char* writer : {"A", "B"})
            for (int i = 0; i < 1000; ++i)
                found += GetPrivateProfileString(QStringLiteral("Keys"),
                                                 QStringLiteral("%1%2").arg(QLatin1String(writer)).arg(i), QString(),
                                                 255, file) == QString::number(i);
        QCOMPARE(found, 2000);
    }
};

// The child of twoProcessesWritingLoseNothing: writes 1,000 keys, one write each.
static int WriteKeys(const QString& file, const QString& prefix)
{
    for (int i = 0; i < 1000; ++i)
        if (!WritePrivateProfileString(QStringLiteral("Keys"), prefix + QString::number(i), QString::number(i), file)) {
            std::fprintf(stderr, "write %d: %s\n", i, qPrintable(IniLastError()));
            return 1;
        }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--write-keys")
        return WriteKeys(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    testenv::SetUpTemporaryHome();
    QCoreApplication app(argc, argv);
    TestIni tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_ini.moc"
