#pragma once
// COutLook: the one class that talks to the calendar. It joins the calendar application that is
// already running in the process or starts one (and then quits it on release), reads
// appointments, notes and tasks, and writes appointments, finding the one an earlier export
// made from the same booking by its marker.
#include "calendar/Calendar.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace vb {
class ErrObject;
}

// One appointment as texts and numbers, handed between the wizard and the adapter.
struct AppointmentRec {
    QString Body;
    qint32 BusyStatus = 0;
    qint32 Duration = 0;
    QString End;
    QString EntryID;
    QString Location;
    qint32 ReminderMinutesBeforeStart = 0;
    bool ReminderSet = true; // false: a new appointment carries no reminder at all
    QString Start;
    QString Subject;
    bool ReminderPlaySound = false;
    QString ReminderSoundFile;
    QString BillingInformation;
    QString Mileage;
};

struct NoteRec {
    QString Body;
    QString CreationTime;
    QString EntryID;
    QString LastModificationTime;
    QString Subject;
};

struct TaskRec {
    QString Body;
    QString CreationTime;
    QString DateCompleted;
    QString EntryID;
    QString LastModificationTime;
    QString StartDate;
    QString Subject;
};

// The wizard's two date pickers, dtpStartTid and dtpSlutTid, as the adapter reads them for the
// window of GetAppointment.
class IDatumFönster {
public:
    virtual ~IDatumFönster() = default;
    virtual QDate StartTid() const = 0;
    virtual QDate SlutTid() const = 0;
};

// The words of the adapter's own messages in the language the user reads. The adapter knows no
// language file; whoever makes it and has the texts hands them in.
class IOutLookTexter {
public:
    enum class Ord {
        IClassModule, // "i Class Module", naming the class after the procedure in error messages
        IngenKontakt, // "Kan inte skapa kontakt med Outlook!", the description of the 429 on creation
        InteKvar,     // "mötet %1 finns inte längre i kalendern": why an appointment could not be linked
        FelNummer,    // "fel %1": an error that came without a description, in a list of items not done
    };
    IOutLookTexter() = default;
    IOutLookTexter(const IOutLookTexter&) = delete;
    IOutLookTexter& operator=(const IOutLookTexter&) = delete;
    IOutLookTexter(IOutLookTexter&&) = delete;
    IOutLookTexter& operator=(IOutLookTexter&&) = delete;
    virtual ~IOutLookTexter() = default;
    // The text in the language in use; empty keeps the built-in words.
    [[nodiscard]] virtual QString Text(Ord ord) const = 0;
};

class COutLook {
public:
    // Connection set-up. Sets okFlag (the program's gbOutlookOK) when the "MAPI" namespace was
    // obtained. Raises error 429 "Kan inte skapa kontakt med Outlook!" (or the texter's words for
    // it) when the calendar cannot be started; any other failure is shown and the object is
    // still made. dates may be null: then every appointment is inside the window. texter may be
    // null: then the messages use the built-in words.
    COutLook(const IDatumFönster* dates, bool& okFlag, const IOutLookTexter* texter = nullptr);
    ~COutLook(); // release (Class_Terminate)
    COutLook(const COutLook&) = delete;
    COutLook& operator=(const COutLook&) = delete;

    // Release: drops the namespace, quits the calendar application if it was started here.
    void Release();

    AppointmentRec GetAppointment(const QString& sFilter, bool bFindNext);
    NoteRec GetNote(const QString& sFilter);
    TaskRec GetTask(const QString& sFilter);
    QList<cal::Item> GetAllTasks(const QString& sCriteria = QString());
    QList<cal::Item> GetAllNotes(const QString& sCriteria = QString());
    QList<cal::Item> GetAllAppointments(const QString& sCriteria = QString());

    [[nodiscard]] bool DuplicateAppointment(AppointmentRec& rec, bool bDelete);
    // The appointment fields a transfer writes, as a plan names them.
    enum class Fält { Subject, Body, Location, Start, End };
    // What writing rec would do, decided as DuplicateAppointment decides it, with nothing
    // written: whether the booking's appointment exists and which of its fields would change.
    struct Besked {
        bool hittat = false;
        bool misslyckades = false; // the calendar could not be searched; WriteError says why
        QList<Fält> ändras;
    };
    Besked Pröva(const AppointmentRec& rec);
    [[nodiscard]] bool NewAppointment(AppointmentRec& rec);
    // After DuplicateAppointment answered False: whether it failed (it could not search the
    // calendar, or found the booking's appointment but could not save it), and why. Such a
    // booking is not done; a new appointment could only be a second copy of it.
    bool DuplicateFailed() const { return m_duplicateFailed; }
    // After DuplicateAppointment: the other appointments that carry the same booking number
    // (copies other programs made, or a stray number), each as "'subject' start"; they were
    // left as they are.
    const QStringList& Kopior() const { return m_kopior; }
    // The UID a new appointment of booking marker starts with: how the booking's own
    // appointment is told from copies of it.
    static QString UidPrefix(const QString& marker);
    // Why the last DuplicateAppointment or NewAppointment failed.
    const QString& WriteError() const { return m_writeError; }

    // Links an appointment that an import made a new booking from: writes the booking number
    // into its three marker fields, as an export marks its own, and changes nothing else of it.
    // entryId is the EntryID the listing gave (one occurrence of a series gets an exception
    // carrying the markers); start is the appointment's start, to find an occurrence without
    // expanding the whole calendar. Answers an empty text when done, else why not.
    QString LinkAppointment(const QString& entryId, const QDateTime& start, const QString& marker);
    // Makes every appointment written so far durable: the calendar flushes a run's writes
    // together. Raises 57 naming a file the disk refused; the run is then not done.
    // A calendar on a server gets a batch of writes several at a time and answers them by the
    // end of Commit: a write it refused then (another client changed the appointment, the
    // server went away) is shown, and listed in EjSparade.
    void Commit();
    // A write the calendar refused after DuplicateAppointment, NewAppointment or
    // LinkAppointment had answered that it was done: the booking number and why.
    struct EjSparad {
        QString marker;
        QString varför;
    };
    // The refusals the last Commit found. Such a booking is not done.
    const QList<EjSparad>& EjSparade() const { return m_ejSparade; }

    bool StartadHär() const { return m_startadHär; }
    // Where the calendar is (a folder, a file or a URL), for locks and messages.
    QString Plats() const;
    // Reads the calendar afresh, so that what other programs wrote since it was opened is seen:
    // a transfer must find every appointment an earlier run made. Only a calendar this object
    // started is reopened; one that another part of the program runs is left to it.
    void LäsOm();
    // Does the item lie inside the wizard's window (whole days)?
    bool InDateRange(const cal::Item& item) const;
    // The same for a start and an end in UTC seconds (cal::kNoSecs: the empty date).
    bool InDateRange(qint64 start, qint64 end) const;

    static const QString IngenTräff; // "<Ingen träff!ó>"
    static const QString EjAngivet;  // "Ej angivet!"
    static const QString ErrSource;  // "VezAdivUVA", the source of the 429 raised on creation

private:
    enum class Slag { Uppgifter, Anteckningar, Möten };
    QList<cal::Item> GetAll(Slag slag, const QString& sCriteria, const QString& procedure);
    QString DatumTextFör(qint64 secs);
    void Sparad(const cal::Item& item, const QString& marker);
    // The appointment an export made for rec's booking, as DuplicateAppointment updates it; the
    // other appointments with its number go to Kopior. erl: how far it came, for the message.
    std::optional<cal::Item> BokningensMöte(const AppointmentRec& rec, int& erl);
    // The record's start and end as dates, nothing for a text that is no date: read once per
    // booking (a locale's date format is dear to parse).
    struct Tider {
        std::optional<QDateTime> start, end;
    };
    static Tider TiderAv(const AppointmentRec& rec);
    static QList<Fält> Skillnader(const cal::Item& item, const AppointmentRec& rec, const Tider& tider);
    // The built-in words, or the texter's where it has them.
    QString Ord(IOutLookTexter::Ord ord, const QString& builtIn) const;
    // An error in a few words, for the list of items not done.
    QString Beskrivning(const vb::ErrObject& e) const;
    // "Error no: N (desc) in procedure P i Class Module COutLook", in the language in use.
    QString Fel(const vb::ErrObject& e, const QString& procedure) const;

    const IDatumFönster* m_dates = nullptr;
    const IOutLookTexter* m_texter = nullptr;
    std::shared_ptr<cal::Application> m_app;
    std::unique_ptr<cal::NameSpace> m_ns;
    std::unique_ptr<cal::MAPIFolder> m_currentFolder;
    std::unique_ptr<cal::Items> m_appItems;
    bool m_startadHär = false;
    bool m_released = false;
    bool m_duplicateFailed = false;
    QStringList m_kopior;
    QString m_writeError;
    // The booking number of each appointment saved since the last Commit, by UID.
    QHash<QString, QString> m_sparade;
    QList<EjSparad> m_ejSparade;
    // The date texts of the current listing by UTC second: a month's appointments share few
    // times, and formatting one is far dearer than finding it again.
    QHash<qint64, QString> m_datumTexter;
    // The window in UTC seconds, for the dates it was worked out from.
    mutable QDate m_fönsterFrån, m_fönsterTill;
    mutable qint64 m_frånSecs = 0, m_tillSecs = 0;
};
