#include "outlook/COutLook.h"

#include "platform/ErrObject.h"
#include "platform/Logging.h"
#include "platform/Locale.h"

#include <QDebug>
#include <QScopeGuard>
#include <optional>

const QString COutLook::IngenTräff = QStringLiteral("<Ingen träff!ó>");
const QString COutLook::EjAngivet = QStringLiteral("Ej angivet!");
const QString COutLook::ErrSource = QStringLiteral("VezAdivUVA");

namespace {
const QString kCrLf = QStringLiteral("\r\n");
constexpr long kErrObjectNotSet = 91;

[[noreturn]] void IngenSökning()
{
    vb::Raise(kErrObjectNotSet, QStringLiteral("Object variable or With block variable not set"));
}

QString DatumText(const QDateTime& when)
{
    return when == cal::EmptyDate() ? COutLook::EjAngivet : vb::FormatGeneralDate(when);
}

QString EnRad(QString text)
{
    return text.replace(kCrLf, QStringLiteral(" "));
}

// The value after a keyword of the criteria text, up to the next comma, blanks trimmed;
// nothing when the keyword does not occur.
std::optional<QString> Värde(const QString& criteria, const QString& keyword)
{
    const qsizetype at = criteria.indexOf(keyword);
    if (at < 0)
        return std::nullopt;
    const qsizetype from = at + keyword.size();
    const qsizetype comma = criteria.indexOf(QLatin1Char(','), from);
    return criteria.mid(from, comma < 0 ? -1 : comma - from).trimmed();
}
} // namespace

QString COutLook::Ord(IOutLookTexter::Ord ord, const QString& builtIn) const
{
    const QString text = m_texter != nullptr ? m_texter->Text(ord) : QString();
    return text.isEmpty() ? builtIn : text;
}

QString COutLook::Beskrivning(const vb::ErrObject& e) const
{
    return e.Description().isEmpty() ? Ord(IOutLookTexter::Ord::FelNummer, QStringLiteral("fel %1")).arg(e.Number())
                                     : e.Description();
}

// The messages of this class, in its own words.
QString COutLook::Fel(const vb::ErrObject& e, const QString& procedure) const
{
    return vb::ErrText(QStringLiteral("Error no: "), e,
                       QStringLiteral(") in procedure ") + procedure + QLatin1Char(' ') +
                           Ord(IOutLookTexter::Ord::IClassModule, QStringLiteral("i Class Module")) +
                           QStringLiteral(" COutLook"));
}

COutLook::COutLook(const IDatumFönster* dates, bool& okFlag, const IOutLookTexter* texter)
    : m_dates(dates), m_texter(texter)
{
    QString steg = QStringLiteral("GetObject");
    try {
        // The calendar application already running in this process, if any.
        m_app = cal::Application::GetRunning();
        if (!m_app) {
            m_startadHär = true;
            steg = QStringLiteral("CreateObject");
            m_app = cal::Application::Create();
        }
        if (m_app) {
            steg = QStringLiteral("GetNamespace");
            m_ns = std::make_unique<cal::NameSpace>(m_app->GetNamespace(QStringLiteral("MAPI")));
            okFlag = true;
        }
    } catch (...) {
        const vb::ErrObject e = vb::CurrentError();
        if (e.Number() == vb::ErrCannotCreateObject && steg == QLatin1String("CreateObject")) {
            // The person at the console sees which store could not be opened, and why.
            qCWarning(lcOutlook).noquote() << e.Description();
            throw vb::ErrObject(vb::ErrCannotCreateObject, Ord(IOutLookTexter::Ord::IngenKontakt,
                                                               QStringLiteral("Kan inte skapa kontakt med Outlook!")));
        }
        vb::ShowErr(Fel(e, QStringLiteral("Class_Initialize")) + kCrLf + steg);
    }
}

COutLook::~COutLook()
{
    Release();
}

void COutLook::Release()
{
    if (m_released)
        return;
    m_released = true;
    try {
        m_appItems.reset();
        m_currentFolder.reset();
        m_ns.reset();
        if (m_startadHär && m_app)
            m_app->Quit();
        m_app.reset();
    } catch (...) {
        vb::ShowErr(Fel(vb::CurrentError(), QStringLiteral("Class_Terminate")));
    }
}

QString COutLook::Plats() const
{
    return m_app ? m_app->Location() : cal::StoreLocation();
}

void COutLook::LäsOm()
{
    if (!m_startadHär || !m_app || m_app->HasQuit())
        return;
    const QString location = m_app->Location();
    m_appItems.reset();
    m_currentFolder.reset();
    m_ns.reset();
    m_app->Quit();
    m_app = cal::Application::Create(location);
    m_ns = std::make_unique<cal::NameSpace>(m_app->GetNamespace(QStringLiteral("MAPI")));
}

void COutLook::Commit()
{
    m_ejSparade.clear();
    if (!m_app || m_app->HasQuit())
        return;
    const auto refusals = qScopeGuard([this] {
        for (const cal::SaveFailure& failure : m_app->TakeSaveFailures()) {
            m_ejSparade.append({m_sparade.value(failure.entryId), failure.description});
            vb::ShowErr(Fel(vb::ErrObject(failure.number, failure.description), QStringLiteral("Commit")));
        }
        m_sparade.clear();
    });
    m_app->Commit();
}

void COutLook::Sparad(const cal::Item& item, const QString& marker)
{
    // One occurrence's EntryID carries its start after the UID.
    m_sparade.insert(item.EntryID().section(QLatin1Char('#'), 0, 0), marker);
}

bool COutLook::InDateRange(const cal::Item& item) const
{
    if (!m_dates)
        return true;
    return InDateRange(item.StartSecs(), item.EndSecs());
}

bool COutLook::InDateRange(qint64 start, qint64 end) const
{
    if (!m_dates)
        return true;
    const QDate from = m_dates->StartTid(), to = m_dates->SlutTid();
    if (from != m_fönsterFrån || to != m_fönsterTill || !from.isValid()) {
        m_frånSecs = QDateTime(from, QTime(0, 0)).toSecsSinceEpoch();
        m_tillSecs = QDateTime(to.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
        m_fönsterFrån = from;
        m_fönsterTill = to;
    }
    // An item without a date compares as the empty date does.
    if (start == cal::kNoSecs || end == cal::kNoSecs) {
        const qint64 empty = cal::EmptyDate().toSecsSinceEpoch();
        if (start == cal::kNoSecs)
            start = empty;
        if (end == cal::kNoSecs)
            end = empty;
    }
    return start >= m_frånSecs && end <= m_tillSecs;
}

QString COutLook::DatumTextFör(qint64 secs)
{
    if (secs == cal::kNoSecs)
        return EjAngivet;
    const auto known = m_datumTexter.constFind(secs);
    if (known != m_datumTexter.constEnd())
        return *known;
    if (m_datumTexter.size() > 100000)
        m_datumTexter.clear();
    QString text = DatumText(QDateTime::fromSecsSinceEpoch(secs));
    m_datumTexter.insert(secs, text);
    return text;
}

AppointmentRec COutLook::GetAppointment(const QString& sFilter, bool bFindNext)
{
    AppointmentRec rec;
    try {
        cal::Item item;
        if (bFindNext) {
            if (!m_appItems)
                IngenSökning();
            item = m_appItems->FindNext();
        } else {
            if (!m_ns)
                IngenSökning();
            m_appItems = std::make_unique<cal::Items>(m_ns->GetDefaultFolder(cal::olFolderCalendar).Items());
            m_appItems->Sort(QStringLiteral("[Start]"));
            m_appItems->SetIncludeRecurrences(true);
            // A new listing may run under another locale or zone.
            m_datumTexter.clear();
            item = m_appItems->Find(sFilter);
        }
        if (!item) {
            rec.Body = IngenTräff;
            return rec;
        }
        const qint64 start = item.StartSecs(), end = item.EndSecs();
        if (!InDateRange(start, end))
            return rec; // all empty: the caller skips it and goes on
        rec.Body = item.Body();
        rec.BusyStatus = item.BusyStatus();
        rec.Duration = item.Duration();
        rec.End = DatumTextFör(end);
        rec.EntryID = item.EntryID();
        rec.Location = EnRad(item.Location());
        rec.ReminderMinutesBeforeStart = item.ReminderMinutesBeforeStart();
        rec.Start = DatumTextFör(start);
        rec.Subject = EnRad(item.Subject());
        rec.ReminderPlaySound = item.ReminderPlaySound();
        rec.ReminderSoundFile = item.ReminderSoundFile();
        rec.BillingInformation = item.BillingInformation();
    } catch (...) {
        vb::ShowErr(Fel(vb::CurrentError(), QStringLiteral("GetAppointment")));
    }
    return rec;
}

NoteRec COutLook::GetNote(const QString& sFilter)
{
    NoteRec rec;
    try {
        if (!m_ns)
            IngenSökning();
        m_currentFolder = std::make_unique<cal::MAPIFolder>(m_ns->GetDefaultFolder(cal::olFolderNotes));
        cal::Item item;
        try {
            item = m_currentFolder->Items().Find(sFilter);
        } catch (...) {
            // A filter the calendar rejects counts as no match.
        }
        if (!item) {
            rec.Body = IngenTräff;
            return rec;
        }
        rec.Body = item.Body();
        rec.CreationTime = DatumText(item.CreationTime());
        rec.EntryID = item.EntryID();
        rec.LastModificationTime = DatumText(item.LastModificationTime());
        rec.Subject = item.Subject();
    } catch (...) {
        vb::ShowErr(Fel(vb::CurrentError(), QStringLiteral("GetNote")));
    }
    return rec;
}

TaskRec COutLook::GetTask(const QString& /*sFilter: the first task is read, as the callers expect*/)
{
    TaskRec rec;
    try {
        if (!m_ns)
            IngenSökning();
        m_currentFolder = std::make_unique<cal::MAPIFolder>(m_ns->GetDefaultFolder(cal::olFolderTasks));
        const cal::Items items = m_currentFolder->Items();
        if (items.Count() < 1)
            return rec;
        const cal::Item item = items.Item(1);
        rec.Body = item.Body();
        rec.CreationTime = DatumText(item.CreationTime());
        rec.DateCompleted = DatumText(item.DateCompleted());
        rec.EntryID = item.EntryID();
        rec.LastModificationTime = DatumText(item.LastModificationTime());
        rec.StartDate = DatumText(item.StartDate());
        rec.Subject = item.Subject();
    } catch (...) {
        vb::ShowErr(Fel(vb::CurrentError(), QStringLiteral("GetTask")));
    }
    return rec;
}

QList<cal::Item> COutLook::GetAllTasks(const QString& sCriteria)
{
    return GetAll(Slag::Uppgifter, sCriteria, QStringLiteral("GetAllTasks"));
}

QList<cal::Item> COutLook::GetAllNotes(const QString& sCriteria)
{
    return GetAll(Slag::Anteckningar, sCriteria, QStringLiteral("GetAllNotes"));
}

QList<cal::Item> COutLook::GetAllAppointments(const QString& sCriteria)
{
    return GetAll(Slag::Möten, sCriteria, QStringLiteral("GetAllAppointments"));
}

QList<cal::Item> COutLook::GetAll(Slag slag, const QString& sCriteria, const QString& procedure)
{
    QList<cal::Item> samling;
    try {
        if (!m_ns)
            IngenSökning();
        const int mapp = slag == Slag::Uppgifter      ? cal::olFolderTasks
                         : slag == Slag::Anteckningar ? cal::olFolderNotes
                                                      : cal::olFolderCalendar;
        m_currentFolder = std::make_unique<cal::MAPIFolder>(m_ns->GetDefaultFolder(mapp));
        const cal::Items items = m_currentFolder->Items();
        const int antal = items.Count();
        // The walk counts with a 16-bit number, as the folder operations always have.
        if (antal > 32767)
            vb::Raise(vb::ErrOverflow);

        // Keyword, property, and whether the item's date must be on or after (true) or on or
        // before (false) the value.
        struct Datumvillkor {
            const char* nyckel;
            const char* egenskap;
            bool frånOch;
        };
        QList<Datumvillkor> datum;
        switch (slag) {
        case Slag::Uppgifter: datum = {{"CreationTime", "CreationTime", true}, {"DateCompleted", "DateCompleted", false}}; break;
        case Slag::Anteckningar:
            datum = {{"CreationTime", "CreationTime", true}, {"LastModificationTime", "LastModificationTime", false}};
            break;
        case Slag::Möten: datum = {{"Start", "Start", true}, {"End", "End", false}}; break;
        }
        struct Villkor {
            QString egenskap;
            bool frånOch;
            QDateTime gräns;
        };
        QList<Villkor> villkor;
        std::optional<QString> ämne, text;
        if (!sCriteria.isEmpty()) {
            for (const Datumvillkor& d : datum)
                if (const auto v = Värde(sCriteria, QLatin1String(d.nyckel)))
                    villkor.append({QLatin1String(d.egenskap), d.frånOch, vb::CDate(*v)});
            ämne = Värde(sCriteria, QStringLiteral("Subject"));
            text = Värde(sCriteria, QStringLiteral("Body"));
        }
        for (qint16 i = 1; i <= antal; ++i) {
            const cal::Item item = items.Item(i);
            bool med = true;
            for (const Villkor& v : villkor) {
                const QDateTime när = item.Get(v.egenskap).toDateTime();
                if (v.frånOch ? när < v.gräns : när > v.gräns) {
                    med = false;
                    break;
                }
            }
            if (med && ämne && !item.Subject().contains(*ämne, Qt::CaseSensitive))
                med = false;
            if (med && text && !item.Body().contains(*text, Qt::CaseSensitive))
                med = false;
            if (med)
                samling.append(item);
            if (i == 32767)
                break;
        }
    } catch (...) {
        vb::ShowErr(Fel(vb::CurrentError(), procedure));
    }
    return samling;
}

QString COutLook::UidPrefix(const QString& marker)
{
    return marker.isEmpty() ? QString() : QStringLiteral("almbro-") + marker + QLatin1Char('-');
}

std::optional<cal::Item> COutLook::BokningensMöte(const AppointmentRec& rec, int& erl)
{
    m_kopior.clear();
    erl = 1;
    if (!m_ns)
        IngenSökning();
    cal::Items items = m_ns->GetDefaultFolder(cal::olFolderCalendar).Items();
    erl = 2;
    const QString filter = QStringLiteral("[BillingInformation] = ") + rec.BillingInformation +
                           QStringLiteral(" OR [Mileage] = ") + rec.Mileage +
                           QStringLiteral(" OR [ReminderSoundFile] = ") + rec.ReminderSoundFile;
    erl = 3;
    // Every appointment that carries the number. The booking's own is the one an export made
    // for it (its UID says so), else one that carries the number in all three fields (made
    // before UIDs said it, or linked by an import). Copies made by calendar clients and
    // stray numbers in one field are left alone.
    QList<cal::Item> candidates;
    for (cal::Item found = items.Find(filter); found; found = items.FindNext())
        if (found.BillingInformation() == rec.BillingInformation || found.Mileage() == rec.Mileage ||
            found.ReminderSoundFile() == rec.ReminderSoundFile)
            candidates.append(found);
    erl = 4;
    const QString prefix = UidPrefix(rec.BillingInformation);
    qsizetype chosen = -1;
    for (qsizetype i = 0; i < candidates.size() && chosen < 0; ++i)
        if (candidates[i].EntryID().startsWith(prefix))
            chosen = i;
    for (qsizetype i = 0; i < candidates.size() && chosen < 0; ++i)
        if (candidates[i].BillingInformation() == rec.BillingInformation &&
            candidates[i].Mileage() == rec.Mileage && candidates[i].ReminderSoundFile() == rec.ReminderSoundFile)
            chosen = i;
    for (qsizetype i = 0; i < candidates.size(); ++i)
        if (i != chosen)
            m_kopior << QLatin1Char('\'') + candidates[i].Subject() + QStringLiteral("' ") +
                            DatumTextFör(candidates[i].StartSecs());
    if (chosen < 0)
        return std::nullopt;
    return candidates[chosen];
}

COutLook::Tider COutLook::TiderAv(const AppointmentRec& rec)
{
    return Tider{vb::ParseDateTime(rec.Start), vb::ParseDateTime(rec.End)};
}

QList<COutLook::Fält> COutLook::Skillnader(const cal::Item& item, const AppointmentRec& rec, const Tider& tider)
{
    // The calendar keeps one kind of line break: texts that differ only in theirs are the same.
    const auto differ = [](QString a, QString b) {
        for (QString* t : {&a, &b})
            t->replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return a != b;
    };
    QList<Fält> changed;
    if (differ(item.Subject(), rec.Subject))
        changed << Fält::Subject;
    if (differ(item.Body(), rec.Body))
        changed << Fält::Body;
    if (differ(item.Location(), rec.Location))
        changed << Fält::Location;
    // A text that is no date counts as a change: writing it raises where the write says so.
    if (!tider.start || item.Start() != *tider.start)
        changed << Fält::Start;
    if (!tider.end || item.End() != *tider.end)
        changed << Fält::End;
    return changed;
}

COutLook::Besked COutLook::Pröva(const AppointmentRec& rec)
{
    Besked besked;
    m_writeError.clear();
    int erl = 0;
    try {
        const std::optional<cal::Item> item = BokningensMöte(rec, erl);
        if (item) {
            besked.hittat = true;
            besked.ändras = Skillnader(*item, rec, TiderAv(rec));
        }
    } catch (...) {
        besked.misslyckades = true;
        m_writeError = Beskrivning(vb::CurrentError());
    }
    return besked;
}

bool COutLook::DuplicateAppointment(AppointmentRec& rec, bool bDelete)
{
    int erl = 0;
    m_duplicateFailed = false;
    m_writeError.clear();
    m_kopior.clear();
    try {
        std::optional<cal::Item> found = BokningensMöte(rec, erl);
        if (!found)
            return false;
        cal::Item& item = *found;
        const Tider tider = TiderAv(rec);
        // An appointment that already says what the booking says is left as it is, file and all.
        if (!bDelete && Skillnader(item, rec, tider).isEmpty())
            return true;
        erl = 5;
        item.SetBody(rec.Body);
        erl = 6;
        item.SetLocation(rec.Location);
        erl = 7;
        item.SetSubject(rec.Subject);
        erl = 8;
        item.SetEnd(tider.end ? *tider.end : vb::CDate(rec.End));
        erl = 9;
        item.SetStart(tider.start ? *tider.start : vb::CDate(rec.Start));
        erl = 10;
        item.Save();
        Sparad(item, rec.BillingInformation);
        if (bDelete) {
            erl = 11;
            item.Delete();
        }
        return true;
    } catch (...) {
        const vb::ErrObject e = vb::CurrentError();
        // Whether or not the search got as far as the appointment, nobody knows that the booking
        // has none: a new one could be a second copy.
        m_duplicateFailed = true;
        m_writeError = Beskrivning(e);
        vb::ShowErr(vb::ErrText(QStringLiteral("Error "), e,
                                QStringLiteral(") in procedure DuplicateAppointment of Class Module COutLook @:") +
                                    QString::number(erl)));
        return false;
    }
}

QString COutLook::LinkAppointment(const QString& entryId, const QDateTime& start, const QString& marker)
{
    try {
        if (!m_ns)
            IngenSökning();
        cal::Items items = m_ns->GetDefaultFolder(cal::olFolderCalendar).Items();
        items.Sort(QStringLiteral("[Start]"));
        items.SetIncludeRecurrences(true);
        // The minute the listing showed, a minute either side: the filter compares to the minute.
        const auto iso = [](const QDateTime& when) {
            return QLatin1Char('"') + when.toString(QStringLiteral("yyyy-MM-ddTHH:mm")) + QLatin1Char('"');
        };
        cal::Item item = items.Find(QStringLiteral("[Start] >= ") + iso(start.addSecs(-60)) +
                                    QStringLiteral(" AND [Start] <= ") + iso(start.addSecs(60)));
        while (item && item.EntryID() != entryId)
            item = items.FindNext();
        if (!item)
            return Ord(IOutLookTexter::Ord::InteKvar, QStringLiteral("mötet %1 finns inte längre i kalendern"))
                .arg(entryId);
        item.SetBillingInformation(marker);
        item.SetMileage(marker);
        item.SetReminderSoundFile(marker);
        item.Save();
        Sparad(item, marker);
        return QString();
    } catch (...) {
        return Beskrivning(vb::CurrentError());
    }
}

bool COutLook::NewAppointment(AppointmentRec& rec)
{
    int erl = 0;
    m_writeError.clear();
    try {
        erl = 1;
        if (!m_app || m_app->HasQuit())
            IngenSökning();
        cal::Item item = m_app->CreateItem(cal::olAppointmentItem, UidPrefix(rec.BillingInformation));
        erl = 2;
        item.SetStart(vb::CDate(rec.Start));
        erl = 3;
        item.SetDuration(rec.Duration);
        erl = 4;
        item.SetEnd(vb::CDate(rec.End));
        erl = 5;
        item.SetBody(rec.Body);
        erl = 6;
        item.SetSubject(rec.Subject);
        erl = 7;
        item.SetLocation(rec.Location);
        erl = 8;
        item.SetReminderMinutesBeforeStart(rec.ReminderMinutesBeforeStart);
        if (!rec.ReminderSet)
            item.SetReminderSet(false);
        erl = 9;
        item.SetBusyStatus(rec.BusyStatus);
        erl = 10;
        item.SetReminderPlaySound(false);
        erl = 11;
        item.SetReminderSoundFile(rec.ReminderSoundFile);
        erl = 12;
        item.SetBillingInformation(rec.BillingInformation);
        erl = 13;
        item.SetMileage(rec.Mileage);
        erl = 14;
        item.Save();
        Sparad(item, rec.BillingInformation);
        return true;
    } catch (...) {
        const vb::ErrObject e = vb::CurrentError();
        m_writeError = Beskrivning(e);
        vb::ShowErr(Fel(e, QStringLiteral("NewAppointment")) + QStringLiteral(" @:") + QString::number(erl));
        return false;
    }
}
