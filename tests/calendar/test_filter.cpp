// The Find restriction language: what matches, what is refused and how, and what a search can
// learn from a filter to avoid looking at every item.
#include "calendar/Filter.h"
#include "calendar/Store.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"
#include "support/Raised.h"
#include "support/TestEnv.h"

#include <QHash>

using namespace cal;

namespace {
enum { Subject, StartP, EndP, Duration, Billing, Mileage, Sound, ReminderSet };

const PropDef kDefs[] = {
    {"Subject", PropType::Text, Subject},       {"Start", PropType::Date, StartP},
    {"End", PropType::Date, EndP},              {"Duration", PropType::Number, Duration},
    {"BillingInformation", PropType::Text, Billing}, {"Mileage", PropType::Text, Mileage},
    {"ReminderSoundFile", PropType::Text, Sound},    {"ReminderSet", PropType::Bool, ReminderSet},
};

class TestSchema : public FilterSchema {
public:
    const PropDef* Lookup(const QString& name) const override
    {
        for (const PropDef& d : kDefs)
            if (name.compare(QLatin1String(d.name), Qt::CaseInsensitive) == 0)
                return &d;
        return nullptr;
    }
};

// One appointment: Möte med Kund, 2026-12-03 10:00-11:30 local, booking 12 in BillingInformation.
class Appointment : public FilterSource {
public:
    QString subject = QStringLiteral("Möte med Kund");
    QDateTime start = QDateTime(QDate(2026, 12, 3), QTime(10, 0));
    QDateTime end = QDateTime(QDate(2026, 12, 3), QTime(11, 30));
    QString billing = QStringLiteral("12");

    FilterValue Value(const PropDef& p) const override
    {
        FilterValue v;
        switch (p.id) {
        case Subject: v.text = subject; break;
        case StartP: v.utc = start.toSecsSinceEpoch(); break;
        case EndP: v.utc = end.toSecsSinceEpoch(); break;
        case Duration: v.number = start.secsTo(end) / 60; break;
        case Billing: v.text = billing; break;
        case ReminderSet: v.flag = true; break;
        default: break;
        }
        return v;
    }
};
} // namespace

class TestFilter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden)); }

    void matches_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("expected");
        QTest::newRow("text ignores case") << "[Subject] = \"möte MED kund\"" << true;
        QTest::newRow("property name ignores case, single quotes") << "[subject] = 'Möte med Kund'" << true;
        QTest::newRow("not equal") << "[Subject] <> \"Möte med Kund\"" << false;
        // The import window's containment is tested through COutLook's search.
        QTest::newRow("window ending before the end") << "[Start] >= \"2026-12-03\" AND [End] <= \"2026-12-03 11:29\"" << false;
        QTest::newRow("to the minute: seconds of the value do not count") << "[Start] >= \"2026-12-03 10:00:59\"" << true;
        QTest::newRow("a minute later") << "[Start] >= \"2026-12-03 10:01\"" << false;
        QTest::newRow("strictly after") << "[Start] > \"2026-12-03 10:00\"" << false;
        QTest::newRow("end on the bound") << "[End] <= \"2026-12-03 11:30\"" << true;
        QTest::newRow("date alone is midnight") << "[Start] = \"2026-12-03\"" << false;
        QTest::newRow("ISO date and time") << "[Start] = \"2026-12-03T10:00:00\"" << true;
        QTest::newRow("bare marker, keyword in lower case") << "[BillingInformation] = 12 or [Mileage] = 12" << true;
        QTest::newRow("marker with other number") << "[BillingInformation] = 13 OR [Mileage] = 12" << false;
        QTest::newRow("NOT") << "NOT [BillingInformation] = 12" << false;
        QTest::newRow("Not over parentheses") << "not ([Subject] = x or [Duration] = 90)" << false;
        QTest::newRow("AND binds before OR")
            << "[Subject] = \"Möte med Kund\" OR [Subject] = x AND [Duration] = 1" << true;
        QTest::newRow("parentheses change it")
            << "([Subject] = \"Möte med Kund\" OR [Subject] = x) AND [Duration] = 1" << false;
        QTest::newRow("numbers compare as numbers") << "[Duration] >= 90 AND [Duration] < 100" << true;
        QTest::newRow("text order ignores case") << "[Subject] > \"MÖTE\" AND [Subject] < \"n\"" << true;
        QTest::newRow("Boolean") << "[ReminderSet] = True" << true;
        QTest::newRow("Boolean false") << "[ReminderSet] = false" << false;
        QTest::newRow("blanks everywhere") << "  (  [Duration]=90  )  " << true;
    }

    void matches()
    {
        QFETCH(QString, filter);
        QFETCH(bool, expected);
        const Filter f = Filter::Parse(filter, TestSchema());
        QCOMPARE(f.Matches(Appointment()), expected);
    }

    void doubledQuoteIsOneQuote_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::newRow("double") << "[Subject] = \"Kalle \"\"Stor\"\" Ek\"";
        QTest::newRow("single") << "[Subject] = 'Kalle \"Stor\" Ek'";
    }

    void doubledQuoteIsOneQuote()
    {
        QFETCH(QString, filter);
        Appointment a;
        a.subject = QStringLiteral("Kalle \"Stor\" Ek");
        QVERIFY(Filter::Parse(filter, TestSchema()).Matches(a));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("empty") << "" << int(ErrCalendar)
                               << "Cannot parse the condition: a condition was expected but the text ends at position 1 in \"\"";
        // An empty marker and an unknown property: see COutLook's messages, where a user meets them.
        QTest::newRow("value at the end missing") << "[Subject] =" << int(ErrCalendar)
                                                  << "Cannot parse the condition: a value was expected after [Subject] = but the text ends at position 12 in \"[Subject] =\"";
        QTest::newRow("no operator") << "[Subject] \"x\"" << int(ErrCalendar)
                                     << "Cannot parse the condition: an operator (= <> < > <= >=) was expected after [Subject] instead of \"x\" at position 11 in \"[Subject] \"x\"\"";
        QTest::newRow("not a date") << "[Start] >= \"igår\"" << int(vb::ErrTypeMismatch)
                                    << "Type mismatch: \"igår\" is not a date, in the condition on [Start]";
        QTest::newRow("not a number") << "[Duration] = abc" << int(vb::ErrTypeMismatch)
                                      << "Type mismatch: \"abc\" is not a number, in the condition on [Duration]";
        QTest::newRow("not a flag") << "[ReminderSet] = kanske" << int(vb::ErrTypeMismatch)
                                    << "Type mismatch: \"kanske\" is not True or False, in the condition on [ReminderSet]";
        QTest::newRow("open parenthesis") << "([Subject] = x" << int(ErrCalendar)
                                          << "Cannot parse the condition: a \"(\" without its \")\" at position 15 in \"([Subject] = x\"";
        QTest::newRow("open quote") << "[Subject] = \"x" << int(ErrCalendar)
                                    << "Cannot parse the condition: a value without its closing \" at position 13 in \"[Subject] = \"x\"";
        QTest::newRow("open bracket") << "[Subject = x" << int(ErrCalendar)
                                      << "Cannot parse the condition: a property name without its closing \"]\" at position 1 in \"[Subject = x\"";
        QTest::newRow("two values") << "[Subject] = x y" << int(ErrCalendar)
                                    << "Cannot parse the condition: unexpected \"y\" at position 15 in \"[Subject] = x y\"";
        QTest::newRow("dangling AND") << "[Subject] = x AND" << int(ErrCalendar)
                                      << "Cannot parse the condition: a condition was expected but the text ends at position 18 in \"[Subject] = x AND\"";
        QTest::newRow("value first") << "x = [Subject]" << int(ErrCalendar)
                                     << "Cannot parse the condition: a property in brackets, such as [Start], was expected instead of \"x\" at position 1 in \"x = [Subject]\"";
    }

    void refused()
    {
        QFETCH(QString, filter);
        QFETCH(int, number);
        QFETCH(QString, description);
        QCOMPARE(testenv::Raised([&filter] { Filter::Parse(filter, TestSchema()); }),
                 QStringLiteral("%1: %2").arg(number).arg(description));
    }

    void deepNestingIsRefusedNotACrash()
    {
        const QString filter = QString(5000, QLatin1Char('(')) + QStringLiteral("[Duration] = 90") + QString(5000, QLatin1Char(')'));
        const QString error = testenv::Raised([&filter] { Filter::Parse(filter, TestSchema()); });
        QVERIFY2(error.contains(QLatin1String("nested too deeply")), qPrintable(error));
        const QString nots = QStringLiteral("NOT ").repeated(5000) + QStringLiteral("[Duration] = 90");
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, Filter::Parse(nots, TestSchema()));
    }

    void indexKeys_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("keys"); // "prop=value"; empty list with usable=false: none
        QTest::addColumn<bool>("usable");
        QTest::newRow("the duplicate search") << "[BillingInformation] = 7 OR [Mileage] = 7 OR [ReminderSoundFile] = 7"
                                              << QStringList{"4=7", "5=7", "6=7"} << true;
        QTest::newRow("one marker and a date") << "[Mileage] = 7 AND [Start] >= \"2026-01-01\"" << QStringList{"5=7"} << true;
        QTest::newRow("an OR with an unindexed side") << "[Mileage] = 7 OR [Subject] = x" << QStringList() << false;
        QTest::newRow("NOT") << "NOT [Mileage] = 7" << QStringList() << false;
        QTest::newRow("not equality") << "[Mileage] <> 7" << QStringList() << false;
    }

    void indexKeys()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, keys);
        QFETCH(bool, usable);
        const auto found = Filter::Parse(filter, TestSchema()).IndexKeys({Billing, Mileage, Sound});
        QCOMPARE(found.has_value(), usable);
        if (!found)
            return;
        QStringList got;
        for (const auto& [prop, value] : *found)
            got << QString::number(prop) + QLatin1Char('=') + value;
        QCOMPARE(got, keys);
    }

    void startRange()
    {
        const QDateTime d1(QDate(2026, 12, 1), QTime(0, 0)), d2(QDate(2027, 1, 1), QTime(0, 0));
        const auto window = Filter::Parse(QStringLiteral("[Start] >= \"2026-12-01\" AND [End] <= \"2027-01-01\""), TestSchema())
                                .StartRange(StartP, EndP);
        QCOMPARE(window.low, d1.toSecsSinceEpoch());
        QCOMPARE(window.high, d2.toSecsSinceEpoch() + 59);
        const auto either = Filter::Parse(QStringLiteral("[Start] >= \"2026-12-01\" OR [Subject] = x"), TestSchema())
                                .StartRange(StartP, EndP);
        QCOMPARE(either.low, std::numeric_limits<qint64>::min());
        const auto negated = Filter::Parse(QStringLiteral("NOT [Start] >= \"2026-12-01\""), TestSchema()).StartRange(StartP, EndP);
        QCOMPARE(negated.low, std::numeric_limits<qint64>::min());
        QCOMPARE(negated.high, std::numeric_limits<qint64>::max());
    }
};

ALMBRO_TEST_MAIN(TestFilter)
#include "test_filter.moc"
