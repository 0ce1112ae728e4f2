// Every language text identifier the program uses has a text in every language file.
#include "calendar/Words.h"
#include "platform/Ini.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

using namespace vb;

namespace {
const QStringList kLanguages = {QStringLiteral("LangEN.ini"), QStringLiteral("LangSV.ini")};

QString LangFile(const QString& name)
{
    return testenv::SourceLangDir() + QLatin1Char('/') + name;
}

QString Text(const QString& file, const QString& key)
{
    return GetPrivateProfileString(QStringLiteral("System"), key, QString(), 2000, LangFile(file));
}

QSet<QString> KeysOf(const QString& file)
{
    QFile f(LangFile(file));
    f.open(QIODevice::ReadOnly);
    QSet<QString> keys;
    static const QRegularExpression line(QStringLiteral("^\\s*([^;\\[=][^=]*)="));
    for (const QString& row : DecodeIniBytes(f.readAll()).split(QLatin1Char('\n'))) {
        const auto match = line.match(row);
        if (match.hasMatch())
            keys.insert(match.captured(1).trimmed());
    }
    return keys;
}

// The identifiers named in the program's sources and forms.
QSet<QString> IdentifiersInSources()
{
    QSet<QString> ids;
    static const QRegularExpression id(QStringLiteral("\\bR\\d{4}\\b"));
    QDirIterator it(QStringLiteral(ALMBRO_SOURCE_DIR "/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        f.open(QIODevice::ReadOnly);
        auto matches = id.globalMatch(QString::fromUtf8(f.readAll()));
        while (matches.hasNext())
            ids.insert(matches.next().captured(0));
    }
    return ids;
}

// One row per language file.
void LanguageRows()
{
    QTest::addColumn<QString>("file");
    for (const QString& file : kLanguages)
        QTest::newRow(qPrintable(file)) << file;
}
} // namespace

class TestLanguageFiles : public QObject {
    Q_OBJECT
private slots:
    void markerFileExists() { QVERIFY(QFile::exists(LangFile(QStringLiteral("Lang.ini")))); }

    void everyUsedIdentifierHasAText_data() { LanguageRows(); }
    void everyUsedIdentifierHasAText()
    {
        QFETCH(QString, file);
        const QSet<QString> used = IdentifiersInSources();
        QVERIFY(used.contains(QStringLiteral("R2307")));
        QStringList missing;
        for (const QString& id : used)
            if (Text(file, id).isEmpty())
                missing.append(id);
        missing.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(file + QStringLiteral(" lacks: ") + missing.join(QLatin1Char(' '))));
    }

    // The calendar's messages have their words in every language file: the same placeholders as
    // the built-in English (a lost %2 would drop a file's name or a reason), within the 254
    // characters a line of a language file gives, and in English the built-in words themselves.
    void calendarMessagesHaveTheirWords_data() { LanguageRows(); }
    void calendarMessagesHaveTheirWords()
    {
        QFETCH(QString, file);
        static const QRegularExpression placeholder(QStringLiteral("%\\d"));
        const auto placeholders = [](const QString& text) {
            QSet<QString> found;
            for (auto it = placeholder.globalMatch(text); it.hasNext();)
                found.insert(it.next().captured(0));
            return found;
        };
        for (int i = 0; i < int(cal::Message::Count); ++i) {
            const auto message = cal::Message(i);
            const QString key = cal::WordsKey(message);
            const QString words = Text(file, key);
            QVERIFY2(!words.isEmpty() && words.size() <= 254, qPrintable(file + QLatin1Char(' ') + key));
            QCOMPARE(placeholders(words), placeholders(cal::BuiltInWords(message)));
            if (file == QLatin1String("LangEN.ini"))
                QCOMPARE(words, cal::BuiltInWords(message));
        }
    }

    void languagesHoldTheSameNonEmptyKeys()
    {
        const QSet<QString> english = KeysOf(kLanguages[0]);
        const QSet<QString> swedish = KeysOf(kLanguages[1]);
        QVERIFY(english.size() > 100);
        QCOMPARE(english, swedish);
        for (const QString& file : kLanguages)
            for (const QString& key : english)
                QVERIFY2(!Text(file, key).isEmpty(), qPrintable(file + QLatin1Char(' ') + key));
    }

    void fixedTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        // The import reads its list columns by their titles (Start, Slut); the title is the program's
        // name. The Planum fields of the mapping go by the booking field names in every language:
        // profiles store them and the transfer reads them (the lists show other keys' texts).
        const std::pair<const char*, const char*> fields[] = {{"R2252", "Start"},
                                                              {"R2247", "Slut"},
                                                              {"R2307", "Almbro"},
                                                              {"R0967", "Starttid"},
                                                              {"R0038", "Kundnamn"},
                                                              {"R0639", "Beställare"},
                                                              {"R0640", "Beställningsdatum"},
                                                              {"R0641", "Beställningsnummer"},
                                                              {"R0643", "Märke"},
                                                              {"R0933", "Dokument"},
                                                              {"R0321", "Sluttid"},
                                                              {"R0646", "Leveransadress"},
                                                              {"R0348", "Pris"},
                                                              {"R0649", "Leverans_postadress"},
                                                              {"R0048", "Notering"},
                                                              {"R0039", "Telefon"}};
        for (const auto& [key, name] : fields)
            QTest::newRow(name) << key << QString::fromUtf8(name);
    }
    void fixedTexts()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        for (const QString& file : kLanguages)
            QCOMPARE(Text(file, key), text);
    }
};

ALMBRO_TEST_MAIN(TestLanguageFiles)
#include "test_language_files.moc"
