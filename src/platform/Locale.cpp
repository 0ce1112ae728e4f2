#include "platform/Locale.h"
#include "platform/ErrObject.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>
#include <QTimeZone>
#include <atomic>
#include <cmath>
#include <memory>

namespace vb {

namespace {
std::optional<QLocale> g_testLocale;
std::atomic<bool> g_zoneHeld{false};

QString FourDigitYears(QString format)
{
    static const QRegularExpression years(QStringLiteral("y+"));
    return format.replace(years, QStringLiteral("yyyy"));
}
} // namespace

const QLocale& CurrentLocale()
{
    static const QLocale system = QLocale::system();
    return g_testLocale ? *g_testLocale : system;
}

void SetLocaleForTest(const QLocale& locale)
{
    g_testLocale = locale;
}

void ResetLocale()
{
    g_testLocale.reset();
}

QString ShortDateFormat()
{
    return FourDigitYears(CurrentLocale().dateFormat(QLocale::ShortFormat));
}

QString ShortTimeFormat()
{
    return CurrentLocale().timeFormat(QLocale::ShortFormat);
}

QString LongTimeFormat()
{
    QString format = ShortTimeFormat();
    if (!format.contains(QLatin1String("ss")))
        format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return format;
}

QString FormatShortDate(const QDate& date)
{
    return CurrentLocale().toString(date, ShortDateFormat());
}

QString FormatShortTime(const QTime& time)
{
    return CurrentLocale().toString(time, ShortTimeFormat());
}

QString FormatGeneralDate(const QDateTime& when)
{
    QString date = FormatShortDate(when.date());
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + CurrentLocale().toString(when.time(), LongTimeFormat());
}

QString FormatShortDateTime(const QDateTime& when)
{
    return FormatShortDate(when.date()) + QLatin1Char(' ') + FormatShortTime(when.time());
}

QString FormatThousands(qint64 value)
{
    if (value == 0)
        return QString();
    QLocale locale = CurrentLocale();
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(value);
}

std::optional<QDateTime> ParseDateTime(const QString& input)
{
    const QString text = input.trimmed().simplified();
    if (text.isEmpty())
        return std::nullopt;
    const QLocale& locale = CurrentLocale();
    const QString date = ShortDateFormat();
    for (const QString& format :
         {date + QLatin1Char(' ') + LongTimeFormat(), date + QLatin1Char(' ') + ShortTimeFormat(),
          date + QStringLiteral(" HH:mm:ss"), date + QStringLiteral(" HH:mm")}) {
        const QDateTime when = locale.toDateTime(text, format);
        if (when.isValid())
            return when;
    }
    const QDate day = locale.toDate(text, date);
    if (day.isValid())
        return QDateTime(day, QTime(0, 0));
    for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm"}) {
        const QDateTime when = QDateTime::fromString(text, QLatin1String(format));
        if (when.isValid())
            return when;
    }
    // Qt reads the first ten characters as the ISO date and ignores the rest: only a bare date.
    const QDate isoDay = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (isoDay.isValid())
        return QDateTime(isoDay, QTime(0, 0));
    QDateTime iso = QDateTime::fromString(text, Qt::ISODate);
    if (iso.isValid())
        return iso.toLocalTime();
    return std::nullopt;
}

bool IsDate(const QString& text)
{
    return ParseDateTime(text).has_value();
}

QDateTime CDate(const QString& text)
{
    const auto when = ParseDateTime(text);
    if (!when)
        Raise(ErrTypeMismatch, QStringLiteral("Type mismatch: \"%1\" is not a date").arg(text));
    return *when;
}

void HoldLocalZone()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return; // named by the user: the C library reads it once already
    // ":/etc/localtime" is the system's own zone, under a name the C library remembers; Qt
    // still finds the zone's IANA name from the link.
    qputenv("TZ", ":/etc/localtime");
    g_zoneHeld = true;
}

QByteArray LocalZoneId()
{
    if (g_zoneHeld) {
        static const QByteArray held = QTimeZone::systemTimeZoneId();
        return held;
    }
    return QTimeZone::systemTimeZoneId();
}

double Val(const QString& text)
{
    QString s;
    for (const QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            s += c;
    if (s.startsWith(QLatin1String("&H"), Qt::CaseInsensitive) ||
        s.startsWith(QLatin1String("&O"), Qt::CaseInsensitive)) {
        const bool hex = s.at(1).toUpper() == u'H';
        qint64 value = 0;
        for (qsizetype i = 2; i < s.size(); ++i) {
            const int digit = s.at(i).isDigit() ? s.at(i).digitValue()
                              : hex && QStringLiteral("abcdef").contains(s.at(i).toLower())
                                  ? 10 + (s.at(i).toLower().unicode() - 'a')
                                  : -1;
            if (digit < 0 || digit >= (hex ? 16 : 8))
                break;
            value = value * (hex ? 16 : 8) + digit;
        }
        return double(value);
    }
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(s);
    if (!match.hasMatch())
        return 0.0;
    QString digits = match.captured(0);
    digits.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
    bool ok = false;
    const double value = digits.toDouble(&ok);
    if (ok)
        return value;
    // An exponent that overflows: keep the mantissa.
    return match.captured(1).toDouble();
}

bool IsNumeric(const QString& input)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return false;
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        static const QRegularExpression hex(QStringLiteral("^&[hH][0-9a-fA-F]+$"));
        return hex.match(text).hasMatch();
    }
    const QLocale& locale = CurrentLocale();
    const QString group = QRegularExpression::escape(locale.groupSeparator());
    const QString point = QRegularExpression::escape(locale.decimalPoint());
    const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d[\\d%1]*(%2\\d*)?|%2\\d+)([eE][+-]?\\d+)?$").arg(group, point));
    return number.match(text).hasMatch();
}

bool UseToolkitLanguage(const QString& code)
{
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    const QString language = code.trimmed().toLower();
    if (language.isEmpty() || language == QLatin1String("en"))
        return true; // the toolkit's own words
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(language), QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = translator.release();
    return true;
}

} // namespace vb
