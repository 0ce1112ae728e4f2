#include "planumdb/Seed.h"
#include "booking/BulkWriter.h"

#include <QRandomGenerator>
#include <QStringList>

namespace planumdb {

namespace {

const QStringList kFirstNames = {
    QStringLiteral("Anna"),  QStringLiteral("Erik"),   QStringLiteral("Maria"),  QStringLiteral("Lars"),
    QStringLiteral("Karin"), QStringLiteral("Johan"),  QStringLiteral("Åsa"),    QStringLiteral("Per"),
    QStringLiteral("Eva"),   QStringLiteral("Björn"),  QStringLiteral("Ingrid"), QStringLiteral("Mikael"),
    QStringLiteral("Sofia"), QStringLiteral("Anders"), QStringLiteral("Lena"),   QStringLiteral("Göran"),
    QStringLiteral("Elin"),  QStringLiteral("Öjvind"), QStringLiteral("Märta"),  QStringLiteral("Nils"),
    QStringLiteral("Britt"), QStringLiteral("Sven"),   QStringLiteral("Ylva"),   QStringLiteral("Håkan"),
};
const QStringList kLastNames = {
    QStringLiteral("Andersson"), QStringLiteral("Johansson"),  QStringLiteral("Karlsson"),   QStringLiteral("Nilsson"),
    QStringLiteral("Eriksson"),  QStringLiteral("Larsson"),    QStringLiteral("Olsson"),     QStringLiteral("Persson"),
    QStringLiteral("Svensson"),  QStringLiteral("Gustafsson"), QStringLiteral("Pettersson"), QStringLiteral("Jönsson"),
    QStringLiteral("Lindqvist"), QStringLiteral("Bergström"),  QStringLiteral("Åkesson"),    QStringLiteral("Sjöberg"),
    QStringLiteral("Öberg"),     QStringLiteral("Lundgren"),   QStringLiteral("Hägglund"),   QStringLiteral("Ekström"),
};
const QStringList kPlaces = {
    QStringLiteral("Göteborg"), QStringLiteral("Malmö"),     QStringLiteral("Stockholm"), QStringLiteral("Umeå"),
    QStringLiteral("Växjö"),    QStringLiteral("Örebro"),    QStringLiteral("Luleå"),     QStringLiteral("Jönköping"),
    QStringLiteral("Kalmar"),   QStringLiteral("Östersund"), QStringLiteral("Borås"),     QStringLiteral("Lund"),
};
const QStringList kCustomers = {
    QStringLiteral("Bergström Bygg AB"),
    QStringLiteral("Lindqvists Måleri"),
    QStringLiteral("Nordic Event & Konferens AB"),
    QStringLiteral("Sjöbergs Trädgård"),
    QStringLiteral("Fritidsförvaltningen"),
    QStringLiteral("Åkesson & Söner HB"),
    QStringLiteral("Café Ängen"),
    QStringLiteral("Ölands Turistbyrå"),
    QStringLiteral("Hjälmarens Båtklubb"),
    QStringLiteral("Dalarnas Hemslöjd"),
    QStringLiteral("Västkustens Fastigheter AB"),
    QStringLiteral("Norrlands Skog & Mark"),
    QStringLiteral("Studieförbundet Vuxenskolan"),
    QStringLiteral("Bröderna Öhman Åkeri"),
};
const QStringList kStreets = {
    QStringLiteral("Storgatan"),     QStringLiteral("Kungsgatan"), QStringLiteral("Drottninggatan"),
    QStringLiteral("Järnvägsgatan"), QStringLiteral("Skolvägen"),  QStringLiteral("Ängsvägen"),
    QStringLiteral("Björkvägen"),    QStringLiteral("Hamngatan"),  QStringLiteral("Östra Långgatan"),
};
// Notes as people write them: quotes, a whole note in quotes, Windows and Unix line breaks.
const QStringList kNotes = {
    QString(),
    QStringLiteral("Glöm inte nyckeln till förrådet"),
    QStringLiteral("Kunden önskar \"fönsterplats\" vid lunch"),
    QStringLiteral("\"Ring innan leverans\""),
    QStringLiteral("Rad ett\r\nRad två: ta med projektor"),
    QStringLiteral("Parkering på baksidan.\r\nPortkod 1234.\r\n\"Fråga efter Eva\""),
    QStringLiteral("Uppföljning av \"Projekt Ängen\" – del 2"),
    QStringLiteral("Allergi: nötter, gluten\nMeny enligt överenskommelse"),
    QStringLiteral("Möte med styrelsen; 12 deltagare"),
    QStringLiteral("Hämtas vid entrén, \"Hus B\""),
    QStringLiteral("Service av maskin nr 4"),
    QStringLiteral("Ta med:\r\n- förlängningssladd\r\n- whiteboardpennor"),
};
const QStringList kAbsences = {
    QStringLiteral("Semester"),
    QStringLiteral("Utbildning"),
    QStringLiteral("Tjänsteresa"),
    QStringLiteral("Föräldraledig"),
};
const QStringList kMarks = {
    QString(),
    QString(),
    QStringLiteral("Vårmötet"),
    QStringLiteral("Inköpsorder 4471"),
    QStringLiteral("Att: ekonomiavdelningen"),
    QStringLiteral("Projekt Älvsborg"),
};
// Durations in minutes of an ordinary booking.
const int kLengths[] = {30, 45, 60, 60, 90, 120, 120, 180, 240, 300, 480};
// Statuses by weight: mostly booked or confirmed, some preliminary, a few of the rest.
const struct {
    qint32 status;
    int weight;
} kStatusWeights[] = {{1, 45}, {2, 25}, {0, 15}, {5, 5}, {3, 5}, {4, 3}, {-1, 2}};

class Dice {
public:
    explicit Dice(quint32 seed) : m_random(seed) {}
    int Below(int n) { return n <= 1 ? 0 : int(m_random.bounded(quint32(n))); }
    bool Chance(int percent) { return Below(100) < percent; }
    const QString& Pick(const QStringList& list) { return list.at(Below(int(list.size()))); }

private:
    QRandomGenerator m_random;
};

qint32 PickStatus(Dice& dice)
{
    int roll = dice.Below(100);
    for (const auto& entry : kStatusWeights) {
        if (roll < entry.weight)
            return entry.status;
        roll -= entry.weight;
    }
    return 1;
}

QString Phone(Dice& dice)
{
    static const char* areas[] = {"08", "031", "040", "090", "070", "073", "019"};
    return QString::asprintf("%s-%03d %02d %02d", areas[dice.Below(7)], dice.Below(1000), dice.Below(100),
                             dice.Below(100));
}

void FillCustomer(booking::DBPost& post, Dice& dice, qint32 resources, const QDate& day)
{
    if (!dice.Chance(10))
        post.Kundnamn(dice.Pick(kCustomers));
    post.Beställare(dice.Pick(kFirstNames) + QLatin1Char(' ') + dice.Pick(kLastNames));
    post.Telefon(Phone(dice));
    post.Märke(dice.Pick(kMarks));
    post.Bokningsnr(QString::number(100000 + dice.Below(900000)));
    if (dice.Chance(60))
        post.Beställningsnummer(QString::asprintf("BN-%d-%05d", day.year(), dice.Below(100000)));
    post.Beställningsdatum(day.addDays(-dice.Below(60)).toString(Qt::ISODate));
    post.Leveransadress(QStringLiteral("%1 %2").arg(dice.Pick(kStreets)).arg(1 + dice.Below(80)));
    post.Leverans_postadress(QString::asprintf("%03d %02d ", 100 + dice.Below(880), dice.Below(100)) +
                             dice.Pick(kPlaces));
    post.Betalningsvillkor(qint16(dice.Below(3)));
    if (dice.Chance(20))
        post.Dokument(QString::asprintf("Offert %d-%03d.pdf", day.year(), dice.Below(1000)));
    // The packing-slip number doubles as the price field.
    post.Följesedelsnr(QString::number((5 + dice.Below(200)) * 50));
    post.Notering(dice.Pick(kNotes));
    if (dice.Chance(15))
        post.ExtraPersonID(1 + dice.Below(resources));
}

} // namespace

QDate MondayOf(const QDate& day)
{
    return day.addDays(1 - day.dayOfWeek());
}

SeedCounts Seed(booking::DBFunk& db, const SeedOptions& options, const std::function<void(qint64)>& progress)
{
    if (options.resources < 1 || options.bookings < 0 || options.days < 1)
        vb::Raise(vb::ErrInvalidProcedureCall,
                  QStringLiteral("resources and days must be at least 1, bookings at least 0"));
    Dice dice(options.seed);
    const QDate first = options.from.isValid() ? options.from : MondayOf(QDate::currentDate());
    booking::BulkWriter writer(db);
    SeedCounts counts;

    std::vector<qint32> ids;
    ids.reserve(std::size_t(options.resources));
    for (qint32 i = 0; i < options.resources; ++i) {
        QString firstName = dice.Pick(kFirstNames);
        QString lastName = dice.Pick(kLastNames);
        const QString place = dice.Pick(kPlaces);
        if (i % 50 == 3) { // a few resources nobody gave a name
            firstName.clear();
            lastName.clear();
        } else if (i % 37 == 5) { // and a few known by first name only
            lastName.clear();
        }
        ids.push_back(writer.AddResource(firstName, lastName, place));
        ++counts.resources;
    }

    // Spread the bookings evenly over every (day, resource) cell, the first cells taking the
    // remainder, so exactly the asked number is written.
    const qint64 cells = qint64(options.days) * options.resources;
    booking::DBPost post;
    for (qint64 cell = 0; cell < cells; ++cell) {
        const qint64 inCell = (cell + 1) * options.bookings / cells - cell * options.bookings / cells;
        if (inCell == 0)
            continue;
        const QDate day = first.addDays(cell / options.resources);
        const qint32 person = ids[std::size_t(cell % options.resources)];
        // Working hours, 07:00 to 19:00, split into one slot per booking; past twelve a day
        // the whole day is used.
        const int windowStart = inCell > 12 ? 0 : 7 * 60;
        const int window = inCell > 12 ? 24 * 60 : 12 * 60;
        const int slot = std::max(1, int(window / inCell));
        for (qint64 j = 0; j < inCell; ++j) {
            post = booking::DBPost();
            post.PersonID(person);
            post.Status(PickStatus(dice));
            QDateTime start;
            QDateTime end;
            if (j == 0 && dice.Below(400) == 0) {
                // A long absence: whole days, overlapping whatever else the resource has.
                start = QDateTime(day, QTime(0, 0));
                end = QDateTime(day.addDays(1 + dice.Below(10)), QTime(0, 0));
                post.Typ(booking::TypFrånvaro);
                post.Notering(dice.Pick(kAbsences));
            } else {
                int length = std::min(slot, kLengths[dice.Below(int(std::size(kLengths)))]);
                const int spare = slot - length;
                int offset = spare >= 15 ? dice.Below(spare / 15 + 1) * 15 : 0;
                const int minute = windowStart + int(j * slot % window) + offset;
                start = QDateTime(day, QTime::fromMSecsSinceStartOfDay(minute * 60000));
                end = start.addSecs(qint64(length) * 60);
                post.Typ(dice.Chance(10) ? booking::TypIntern : booking::TypKund);
                FillCustomer(post, dice, options.resources, day);
                if (length >= 300)
                    post.Antal(1); // an unpaid lunch hour
            }
            post.StartTid(start);
            post.SlutTid(end);
            const qint64 minutes = start.secsTo(end) / 60; // whole minutes
            post.Minuter(double(minutes - 60LL * post.Antal()));
            if (dice.Chance(2)) {
                post.Aktiv(false);
                post.Status(3);
            }
            writer.AddBooking(post);
            ++counts.bookings;
            if (progress && counts.bookings % 100000 == 0)
                progress(counts.bookings);
        }
    }
    writer.Commit();
    return counts;
}

} // namespace planumdb
