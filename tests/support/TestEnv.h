#pragma once
// Every test runs in its own temporary HOME and XDG folders, so nothing touches the real
// user's files. ALMBRO_TEST_MAIN / ALMBRO_GUI_TEST_MAIN set them up before Qt starts.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

namespace testenv {

// Makes HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_RUNTIME_DIR and XDG_DATA_DIRS
// point into a fresh temporary folder that lives as long as the process.
inline QString SetUpTemporaryHome()
{
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/almbro-test-XXXXXX"));
    const QString home = root.path() + QStringLiteral("/home");
    QDir().mkpath(home);
    QDir().mkpath(root.path() + QStringLiteral("/share"));
    QDir().mkpath(root.path() + QStringLiteral("/runtime"));
    QFile::setPermissions(root.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root.path() + QStringLiteral("/runtime")).toUtf8());
    qputenv("XDG_DATA_DIRS", (root.path() + QStringLiteral("/share")).toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    return root.path();
}

// The temporary root made by SetUpTemporaryHome.
inline QString Root()
{
    return QFileInfo(qEnvironmentVariable("HOME")).path();
}

// The folder of the source tree's language files.
inline QString SourceLangDir()
{
    return QStringLiteral(ALMBRO_SOURCE_DIR "/lang");
}

// Makes folder and copies the language files of from into it where they are not there yet.
inline QString WithLanguageFiles(const QString& folder, const QString& from = SourceLangDir())
{
    QDir().mkpath(folder);
    for (const char* name : {"Lang.ini", "LangEN.ini", "LangSV.ini"})
        QFile::copy(from + QLatin1Char('/') + QLatin1String(name), folder + QLatin1Char('/') + QLatin1String(name));
    return folder;
}

// A file's bytes; empty when it cannot be read.
inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes bytes as the whole of a file; false where it cannot.
[[nodiscard]] inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every .ics file of a folder with its bytes.
inline QMap<QString, QByteArray> Snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.ics")}, QDir::Files))
        files.insert(name, ReadBytes(dir.filePath(name)));
    return files;
}

} // namespace testenv

#define ALMBRO_TEST_MAIN(TestObject)                                                                                   \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        testenv::SetUpTemporaryHome();                                                                                 \
        QCoreApplication app(argc, argv);                                                                              \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

#define ALMBRO_GUI_TEST_MAIN(TestObject)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        testenv::SetUpTemporaryHome();                                                                                 \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                                       \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
