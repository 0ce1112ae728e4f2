// Dates and numbers in the user's locale, and the runtime's Val and IsNumeric.
#include "platform/ErrObject.h"
#include "platform/Locale.h"
#include "support/Raised.h"
#include "support/TestEnv.h"

using namespace vb;

class TestLocale : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ResetLocale(); }

    void formats_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("general");
        QTest::addColumn<QString>("thousands");
        // 2026-03-07 09:05:30 (at midnight: the date alone), 1234567.
        const auto row = [](const char* locale, const char* date, const char* general, const char* thousands) {
            QTest::newRow(locale) << QString::fromUtf8(locale) << QString::fromUtf8(date) << QString::fromUtf8(general)
                                  << QString::fromUtf8(thousands);
        };
        row("sv_SE", "2026-03-07", "2026-03-07 09:05:30", "1\u00A0234\u00A0567");
        row("en_US", "3/7/2026", "3/7/2026 9:05:30 AM", "1,234,567");
        row("en_GB", "07/03/2026", "07/03/2026 09:05:30", "1,234,567");
        row("de_DE", "07.03.2026", "07.03.2026 09:05:30", "1.234.567");
    }
    void formats()
    {
        QFETCH(QString, locale);
        QFETCH(QString, date);
        QFETCH(QString, general);
        QFETCH(QString, thousands);
        SetLocaleForTest(QLocale(locale));
        const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 30));
        QCOMPARE(FormatShortDate(when.date()), date);
        QCOMPARE(FormatGeneralDate(when).replace(QChar(0x202F), QLatin1Char(' ')), general);
        QCOMPARE(FormatGeneralDate(QDateTime(when.date(), QTime(0, 0))), date);
        QCOMPARE(FormatThousands(1234567), thousands);
        QVERIFY(ShortDateFormat().contains(QLatin1String("yyyy")));
    }

    void zeroFormatsEmpty() { QCOMPARE(FormatThousands(0), QString()); }

    void parsesWhatItFormats_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"sv_SE", "en_US", "en_GB", "de_DE", "C"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void parsesWhatItFormats()
    {
        QFETCH(QString, locale);
        SetLocaleForTest(QLocale(locale));
        const QDateTime when(QDate(2026, 12, 31), QTime(23, 59, 0));
        QCOMPARE(CDate(FormatShortDateTime(when)), when);
        QCOMPARE(CDate(FormatGeneralDate(when)), when);
        QCOMPARE(CDate(FormatShortDate(when.date()) + QStringLiteral(" 00:00:00")),
                 QDateTime(when.date(), QTime(0, 0)));
        QCOMPARE(CDate(FormatShortDate(when.date()) + QStringLiteral(" 23:59:59")),
                 QDateTime(when.date(), QTime(23, 59, 59)));
        QCOMPARE(CDate(FormatShortDate(when.date())), QDateTime(when.date(), QTime(0, 0)));
        // ISO 8601 in any locale.
        QCOMPARE(CDate(QStringLiteral("2026-12-31 23:59")), when);
        QCOMPARE(CDate(QStringLiteral("2026-12-31T23:59:00")), when);
        QCOMPARE(CDate(QStringLiteral("2026-12-31")), QDateTime(when.date(), QTime(0, 0)));
    }

    void notADate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("words") << "tomorrow";
        QTest::newRow("day 32") << "2026-01-32";
        QTest::newRow("month 13") << "2026-13-01 10:00";
        QTest::newRow("hour 25") << "2026-01-01 25:00";
    }
    void notADate()
    {
        QFETCH(QString, text);
        SetLocaleForTest(QLocale(QStringLiteral("sv_SE")));
        QVERIFY(!IsDate(text));
        QVERIFY(testenv::Raised([&text] { CDate(text); }).startsWith(QStringLiteral("%1: ").arg(ErrTypeMismatch)));
    }

    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "42" << 42.0;
        QTest::newRow("leading number then text") << "12 Kund" << 12.0;
        QTest::newRow("blanks inside are skipped") << " 1 2 3" << 123.0;
        QTest::newRow("decimal point") << "3.25kr" << 3.25;
        QTest::newRow("comma stops") << "3,25" << 3.0;
        QTest::newRow("negative") << "-17" << -17.0;
        QTest::newRow("exponent") << "1e3x" << 1000.0;
        QTest::newRow("hex") << "&HFF" << 255.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letter first") << "d5" << 0.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text), expected);
    }

    void isNumeric_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("digits") << "123" << true;
        QTest::newRow("blanks around") << " 12 " << true;
        QTest::newRow("signed") << "-5" << true;
        QTest::newRow("grouped") << "1,000" << true;
        QTest::newRow("decimal") << "2.5" << true;
        QTest::newRow("exponent") << "1e5" << true;
        QTest::newRow("hex") << "&H1F" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("text after") << "12a" << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("two points") << "1.2.3" << false;
    }
    void isNumeric()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        SetLocaleForTest(QLocale(QStringLiteral("en_US")));
        QCOMPARE(IsNumeric(text), expected);
    }
};

ALMBRO_TEST_MAIN(TestLocale)
#include "test_locale.moc"
