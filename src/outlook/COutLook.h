#pragma once
// COutLook: the one class that talks to the calendar. It joins the calendar application that is
// already running in the process or starts one (and then quits it on release), reads
// appointments, notes and tasks, and writes appointments, finding the one an earlier export
// made from the same booking by its marker.
#include "calendar/Calendar.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>

// One appointment as texts and numbers, handed between the wizard and the adapter.
struct AppointmentRec {
    QString Body;
    qint32 BusyStatus = 0;
    qint32 Duration = 0;
    QString End;
    QString EntryID;
    QString Location;
    qint32 ReminderMinutesBeforeStart = 0;
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

class COutLook {
public:
    // Connection set-up. Sets okFlag (the program's gbOutlookOK) when the "MAPI" namespace was
    // obtained. Raises error 429 "Kan inte skapa kontakt med Outlook!" when the calendar cannot
    // be started; any other failure is shown and the object is still made. dates may be null:
    // then every appointment is inside the window.
    COutLook(const IDatumFönster* dates, bool& okFlag);
    ~COutLook(); // release (Class_Terminate)
    COutLook(const COutLook&) = delete;
    COutLook& operator=(const COutLook&) = delete;

    // Release: drops the namespace, quits the calendar application if it was started here.
    void Release();

    AppointmentRec GetAppointment(QString sFilter, bool bFindNext);
    NoteRec GetNote(const QString& sFilter);
    TaskRec GetTask(const QString& sFilter);
    QList<cal::Item> GetAllTasks(const QString& sCriteria = QString());
    QList<cal::Item> GetAllNotes(const QString& sCriteria = QString());
    QList<cal::Item> GetAllAppointments(const QString& sCriteria = QString());

    bool DuplicateAppointment(AppointmentRec& rec, bool bDelete);
    bool NewAppointment(AppointmentRec& rec);
    // Makes every appointment written so far durable: the calendar flushes a run's writes
    // together. Raises 57 naming a file the disk refused; the run is then not done.
    void Commit();

    bool StartadHär() const { return m_startadHär; }
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

    const IDatumFönster* m_dates = nullptr;
    std::shared_ptr<cal::Application> m_app;
    std::unique_ptr<cal::NameSpace> m_ns;
    std::unique_ptr<cal::MAPIFolder> m_currentFolder;
    std::unique_ptr<cal::Items> m_appItems;
    bool m_startadHär = false;
    bool m_released = false;
    // The date texts of the current listing by UTC second: a month's appointments share few
    // times, and formatting one is far dearer than finding it again.
    QHash<qint64, QString> m_datumTexter;
    // The window in UTC seconds, for the dates it was worked out from.
    mutable QDate m_fönsterFrån, m_fönsterTill;
    mutable qint64 m_frånSecs = 0, m_tillSecs = 0;
};
