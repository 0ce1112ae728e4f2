// The item list (bookings for export), row selection and sorting, and the status list.
#include "wizard/PlanumFields.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include <optional>

#include <cstdio>

#include "booking/DBFunk.h"
#include "wizard/OpeningProgress.h"
#include "platform/ControlType.h"
#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/LogFile.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ExitStatus.h"
#include "settings/ProfileStore.h"
#include "settings/ProgramState.h"
#include "ui/Funktioner.h"
#include "ui/clsListView.h"
#include "wizard/AutoArg.h"
#include "wizard/WaitCursor.h"

#include <QListWidget>
#include <QTextStream>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cmath>

using namespace vb;

namespace {
// W / n rounded to the nearest whole number, halves to even.
int Part(int width, int n)
{
    return int(std::nearbyint(double(width) / n));
}

// Both lists show a time as the locale's short date and time, and sort it as a time.
QString ListTime(const QDateTime& when)
{
    return FormatShortDate(when.date()) + QLatin1Char(' ') + FormatShortTime(when.time());
}

void SetListTime(vb::ListItem* item, int column, const QDateTime& when)
{
    if (column == 0)
        item->SetText(ListTime(when));
    item->SetSortValue(column, when.toMSecsSinceEpoch());
}

// A text on one row: a line break, CR LF, LF or CR alike, is a blank.
QString ListText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.replace(QLatin1Char('\r'), QLatin1Char(' '));
}

// The note as the list shows it: one pair of enclosing quotes dropped, line breaks as blanks.
QString ListNote(QString note)
{
    if (note.size() >= 2 && note.startsWith(QLatin1Char('"')) && note.endsWith(QLatin1Char('"')))
        note = note.mid(1, note.size() - 2);
    return ListText(note);
}

QColor Colour(qint64 value)
{
    const auto v = quint32(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}
} // namespace

void frmWizard::connectListSignals()
{
    connect(cmdAlla[0], &QPushButton::clicked, this, [this] { cmdAlla_Click(0); });
    connect(cmdAlla[1], &QPushButton::clicked, this, [this] { cmdAlla_Click(1); });
    connect(lvVisa, &vb::ListView::ColumnClick, this, &frmWizard::lvVisa_ColumnClick);
    // A pick by the user; where the program picks a row it calls the handler itself.
    connect(cboResurser, qOverload<int>(&QComboBox::activated), this, &frmWizard::cboResurser_Click);
    // A status is picked by a click on its row or by its check mark (a click or Space): one
    // row at a time carries the mark.
    const auto pick = [this](vb::ListItem* item) {
        for (int i = 1; i <= lvwStatus->Count(); ++i)
            if (lvwStatus->Item(i) != item)
                lvwStatus->Item(i)->SetChecked(false);
        item->SetChecked(true);
        moStatusLista->ItemClick(item);
        lvwStatus_ItemClick(item);
    };
    connect(lvwStatus, &vb::ListView::ItemClick, this, pick);
    connect(lvwStatus, &vb::ListView::ItemCheck, this, [this, pick](vb::ListItem* item) {
        if (item->Checked()) {
            lvwStatus->SetSelectedItem(item);
            pick(item);
        }
    });
}

void frmWizard::MakeColumns(int set)
{
    TrapVoid(
        [&] {
            lvVisa->ClearColumns();
            lvVisa->ClearItems();
            const int w = lvVisa->WidthTwips();
            if (set == 1) {
                const int q = Part(w, 5);
                lvVisa->AddColumn(T("R2252"), q - 50);
                // Found by the import under R2247's text whatever title the language shows.
                lvVisa->AddColumn(SlutRubrik(), q - 50, T("R2247"));
                lvVisa->AddColumn(T("R2234"), q - 10);
                lvVisa->AddColumn(T("R2298"), q - 10);
                lvVisa->AddColumn(T("R2267"), q - 10);
                lvVisa->AddColumn(QStringLiteral("Nyckel1"), 0);
                lvVisa->AddColumn(QStringLiteral("Nyckel2"), 0);
            } else if (set == 4) {
                const int q = Part(w, 4);
                lvVisa->AddColumn(T("R0035"), q);
                lvVisa->AddColumn(T("R0257"), q - 120);
                lvVisa->AddColumn(T("R0558"), q - 90);
                lvVisa->AddColumn(VisatFältNamn(T("R0048")), q - 90); // the note, as the mapping shows it
            }
        },
        WizardErr("MakeColumns"));
}

void frmWizard::FyllLista()
{
    if (mbUpptagen)
        return;
    WaitCursor hourglass;
    TrapVoid(
        [&] {
            goDBFunk = std::make_unique<booking::DBFunk>();
            goDBFunk->Anropskod(-9);
            int opened = 0;
            {
                OpeningProgress::Database opening(this, gsDataBas);
                opened = goDBFunk->ÖppnaDatabas(gsDataBas, 0, 0);
            }
            if (opened != 1) {
                MsgBox(T("R0722"), vbExclamation, T("R2307"));
                // Whoever looks after an unattended run needs the database's own reason too
                // (a server that is down, a refused login).
                if (gbAuto)
                    QTextStream(stderr) << "Almbro: " << goDBFunk->SenasteFel() << Qt::endl;
                cmdDB->setFocus();
                return;
            }
            if (optImport->isChecked()) {
                FyllImportLista();
            } else if (optExport->isChecked()) {
                FyllExportLista();
                if (m_listStopped)
                    return;
            }
            SetKolumner(lvVisa);
        },
        [](const ErrObject& e) {
            return ErrText(QStringLiteral("Error no: "), e,
                           QStringLiteral(") in procedure FyllLista in Form frmWizard @:0"));
        },
        TrapWay([this] { mbUpptagen = false; }));
}

void frmWizard::FyllExportLista()
{
    m_listStopped = true;
    MakeColumns(4);
    if (cboResurser->count() == 0) {
        booking::Recordset persons = goDBFunk->HämtaPersoner(0, 0, 0, 0, 0);
        // Busy while the rows go in: the combo's own selection changes must not refill the list.
        mbUpptagen = true;
        cboResurser->clear();
        cboResurser->addItem(T("R2160"), -99);
        while (!persons.Eof()) {
            cboResurser->addItem(persons[QStringLiteral("FörNamn")].toString() + QLatin1Char(' ') +
                                     persons[QStringLiteral("EfterNamn")].toString() + QStringLiteral(", ") +
                                     persons[QStringLiteral("Placering")].toString(),
                                 persons[QStringLiteral("ID")].toInt());
            persons.MoveNext();
        }
        cboResurser->setCurrentIndex(0);
        if (gbAuto) {
            if (const auto value = ProfileField(msProfil, QStringLiteral("cboResurser"))) {
                if (*value == QLatin1String("-99")) {
                    cboResurser->setCurrentIndex(0);
                } else {
                    const int wanted = int(Val(*value));
                    for (int i = 0; i < cboResurser->count(); ++i) {
                        if (cboResurser->itemData(i).toInt() == wanted) {
                            cboResurser->setCurrentIndex(i);
                            break;
                        }
                    }
                }
            }
        }
        mbUpptagen = false;
    }

    cboResurser->show();
    ui->lblResurser->show();
    const QString start = FormatShortDate(dtpStartTid->date()) + QStringLiteral(" 00:00:00");
    const QString end = FormatShortDate(dtpSlutTid->date()) + QStringLiteral(" 23:59:59");
    booking::Recordset bookings = goDBFunk->HämtaPoster(start, end, -9);

    if (bookings.Eof()) {
        if (!gbAuto) {
            Beep();
            MsgBox(T("R2212"), vbInformation, T("R2307"));
            dtpStartTid->setFocus();
        }
        return;
    }
    const qint32 count = bookings.RecordCount();
    if (count > 500) {
        const int answer = MsgBox(T("R0748") + QLatin1Char(' ') + FormatThousands(count) + T("R3211") +
                                      QStringLiteral("\r\n") + T("R2282"),
                                  vbYesNo | vbQuestion, T("R2307"));
        if (answer == vbYes) {
            dtpStartTid->setFocus();
            return;
        }
    }

    lvVisa->ClearItems();
    const int selected = cboResurser->currentIndex();
    const qint32 onlyPerson = selected > 0 ? cboResurser->itemData(selected).toInt() : 0;
    std::optional<vb::ListView::Fill> fill(lvVisa);
    while (!bookings.Eof()) {
        const qint32 person = bookings[QStringLiteral("PersonID")].toInt();
        if (selected <= 0 || person == onlyPerson) {
            mItem =
                lvVisa->AddItem(-1, QStringLiteral("k") + QString::number(bookings[QStringLiteral("Nyckel")].toInt()),
                                ListTime(bookings[QStringLiteral("StartTid")].toDateTime()));
            SetListTime(mItem, 0, bookings[QStringLiteral("StartTid")].toDateTime());
            mItem->SetSubItem(1, ListTime(bookings[QStringLiteral("SlutTid")].toDateTime()), QStringLiteral("Sluttid"));
            SetListTime(mItem, 1, bookings[QStringLiteral("SlutTid")].toDateTime());
            QString name = goDBFunk->PersonNamn(person);
            if (name.isEmpty())
                name = T("R2162");
            mItem->SetSubItem(2, name, QStringLiteral("Resurs"));
            mItem->SetSubItem(3, ListNote(bookings[QStringLiteral("Anteckningx")].toString()),
                              QStringLiteral("Notering"));
        }
        bookings.MoveNext();
    }
    fill.reset();
    bookings.Close();
    if (gbAuto)
        for (int i = 1; i <= lvVisa->Count(); ++i)
            lvVisa->Item(i)->SetChecked(true);
    m_listStopped = false;
}

namespace {
// The booking component fills "a list box": here, the wizard's list widget.
class ListWidgetSink : public booking::ListBoxSink {
public:
    explicit ListWidgetSink(QListWidget* list) : m_list(list) {}
    void Clear() override { m_list->clear(); }
    void AddItem(const QString& text, qint32 itemData) override
    {
        auto* item = new QListWidgetItem(text, m_list);
        item->setData(Qt::UserRole, itemData);
    }

private:
    QListWidget* m_list;
};
} // namespace

void frmWizard::FyllImportLista()
{
    cboResurser->hide();
    ui->lblResurser->hide();
    if (lstResurser->count() == 0) {
        ListWidgetSink sink(lstResurser);
        qint32 added = 0;
        goDBFunk->FyllAllaResurser(sink, 2, 0, 0, 0, added, 0, 0);
        if (gbAuto) {
            for (int i = 0; i < lstResurser->count(); ++i) {
                if (lstResurser->item(i)->data(Qt::UserRole).toInt() == glLstResurser) {
                    lstResurser->setCurrentRow(i);
                    break;
                }
            }
        } else {
            lstResurser->setCurrentRow(0);
            lstResurser->setCurrentRow(-1);
            lstResurser->clearSelection();
        }
    }
    if (!optKalender->isChecked())
        return;

    MakeColumns(1);
    const QString filter = QStringLiteral("[Start] >= \"") + FormatShortDate(dtpStartTid->date()) +
                           QStringLiteral("\" AND [End] <= \"") + FormatShortDate(dtpSlutTid->date().addDays(1)) +
                           QLatin1Char('"');
    AppointmentRec rec = oOutLook->GetAppointment(filter, false);
    if (rec.Body == COutLook::IngenTräff) {
        Beep();
        MsgBox(T("R2214"), vbInformation, T("R2307"));
        dtpStartTid->setFocus();
        return;
    }
    // Setting the box runs its handler, as a click would.
    const auto setUpdateExisting = [this](bool on) {
        if (chkAnvändNyckel->isChecked() != on) {
            chkAnvändNyckel->setChecked(on);
            chkAnvändNyckel_Click();
        }
    };
    setUpdateExisting(true);
    const bool onlyOwn = chkPlanumBokningar->isChecked() && !gbAuto;
    int n = 1;
    // Read from the language file once, not once a row.
    const QString ownTip = T("R2236"), foreignTip = T("R2235"), foreignText = T("R2194"),
                  foreignEnd = SpråkText("R6334", "Ej från Planum!");
    std::optional<vb::ListView::Fill> fill(lvVisa);
    do {
        if ((!onlyOwn || ÄrÖverförd(rec)) && !rec.Start.isEmpty()) {
            const QDateTime start = CDate(rec.Start);
            const QDateTime end = CDate(rec.End);
            const bool own = ÄrÖverförd(rec);
            mItem = lvVisa->AddItem(n, QString(), ListTime(start));
            SetListTime(mItem, 0, start);
            if (!own)
                setUpdateExisting(false);
            mItem->SetForeColor(own ? QColor(0, 0, 255) : QColor(255, 0, 0));
            mItem->setToolTip(0, own ? ownTip : foreignTip);
            const QString foreign = own ? QString() : foreignText;
            mItem->SetSubItem(1, ListTime(end), QString(), own ? QString() : foreignEnd);
            SetListTime(mItem, 1, end);
            mItem->SetSubItem(2, ListText(rec.Location), QString(), foreign);
            mItem->SetSubItem(3, ListText(rec.Subject), QString(), foreign);
            mItem->SetSubItem(4, ListText(rec.Body), QString(), foreign);
            mItem->SetSubItem(5, rec.ReminderSoundFile, QString(), foreign);
            // The hidden second key: the number another marker field carries, so that a row
            // whose sound-file marker was cleared still names its booking.
            mItem->SetSubItem(6, IsNumeric(rec.BillingInformation) ? rec.BillingInformation : rec.Mileage);
            // Which appointment the row is: an import links a new booking back to it.
            mItem->SetTag(rec.EntryID);
            ++n;
        }
        rec = oOutLook->GetAppointment(QString(), true);
    } while (rec.Body != COutLook::IngenTräff);
    fill.reset();
    chkAnvändNyckel->setEnabled(chkAnvändNyckel->isChecked());
    if (n > 1) {
        lvVisa->SetSorted(true);
    } else {
        Beep();
        MsgBox(T(onlyOwn ? "R2213" : "R2214"), vbInformation, T("R2307"));
        dtpStartTid->setFocus();
    }
}

bool frmWizard::ÄrÖverförd(const AppointmentRec& rec)
{
    // Made by an export of ours: one of the three marker fields holds a number.
    return IsNumeric(rec.ReminderSoundFile) || IsNumeric(rec.BillingInformation) || IsNumeric(rec.Mileage);
}

void frmWizard::cboResurser_Click()
{
    FyllLista();
}

void frmWizard::cmdAlla_Click(int Index)
{
    TrapVoid(
        [&] {
            for (int i = 1; i <= lvVisa->Count(); ++i)
                lvVisa->Item(i)->SetChecked(Index != 0);
        },
        WizardErr("cmdAlla_Click"));
}

void frmWizard::lvVisa_ColumnClick(int column)
{
    TrapVoid(
        [&] {
            lvVisa->SetSortOrder(lvVisa->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
            lvVisa->SetSortKey(column);
            lvVisa->SetSorted(true);
        },
        WizardErr("lvVisa_ColumnClick"));
}

void frmWizard::FyllStatus(clsListView* oLvw)
{
    TrapVoid(
        [&] {
            if (lvwStatus->Count() > 0)
                return;
            if (!goDBFunk)
                Raise(ErrObjectVariableNotSet); // no list was filled, so there is no connection
            booking::Recordset statuses = goDBFunk->HämtaStatusar();
            while (!statuses.Eof()) {
                const qint32 id = statuses[QStringLiteral("ID")].toInt();
                if (id > -1) {
                    const QString text = statuses[QStringLiteral("TheText")].toString().trimmed();
                    long index = -1;
                    vb::ListItem* row = oLvw->AddListItem(&index, QStringLiteral("K") + QString::number(id), text);
                    row->SetTag(QString::number(statuses[QStringLiteral("BackColor")].toLongLong()));
                    row->SetForeColor(Colour(statuses[QStringLiteral("ForColor")].toLongLong()));
                }
                statuses.MoveNext();
            }
            statuses.Close();
            oLvw->AdjustColWidth(true);
            oLvw->AltLineColor();
            for (int i = 1; i <= lvwStatus->Count(); ++i) {
                vb::ListItem* row = lvwStatus->Item(i);
                if (row->Key().mid(1).toInt() == glStatus) {
                    lvwStatus->SetSelectedItem(row);
                    row->SetChecked(true);
                    lvwStatus_ItemClick(row);
                    break;
                }
            }
        },
        [](const ErrObject& e) {
            return ErrText(QStringLiteral("Error "), e,
                           QStringLiteral(") in procedure FyllStatus of Form frmWizard @:0"));
        });
}

void frmWizard::lvwStatus_ItemClick(vb::ListItem* Item)
{
    QPalette palette = lblStatusKoll->palette();
    palette.setColor(QPalette::Window, Colour(Item->Tag().toLongLong()));
    palette.setColor(QPalette::WindowText, Item->ForeColor());
    lblStatusKoll->setAutoFillBackground(true);
    lblStatusKoll->setPalette(palette);
    vb::SetTag(lblStatusKoll, Item->Key());
    lblStatusKoll->setText(Item->Text());
}

void frmWizard::RunUnattended()
{
    hide();
    const AutoArg arg = AutoArg::FromCommandLine(vb::ProcessArguments(), gsAutoArg);
    int found = -1;
    for (int i = 0; i < cboProfiler[0]->count() && found < 0; ++i)
        if (!arg.profile.isEmpty() && cboProfiler[0]->itemText(i).toLower() == arg.profile)
            found = i;
    if (found < 0) {
        show();
        // In the language in use; the built-in Swedish where the language file lacks the key.
        const QString lead = SpråkText("R6107", "Kan inte finna profilen:");
        MsgBox(lead.trimmed() + QLatin1Char(' ') + gsAutoArg + QStringLiteral("!"), vbCritical);
        SetEndStatus(ExitProfileNotFound);
        // An unattended run never waits for a person, also where a display shows the wizard.
        close();
        return;
    }
    cboProfiler[0]->setCurrentIndex(found);
    cboProfiler_Click(0);
    if (!m_profilFel.isEmpty()) {
        MsgBox(T("R6012") + QLatin1Char(' ') + m_profilFel.join(QStringLiteral("; ")), vbCritical, T("R2307"));
        SetEndStatus(ExitIncomplete);
        close();
        return;
    }
    // Each press runs the button's action whatever step is shown, also where a check kept the
    // wizard on an earlier step (a disabled button would ignore a click).
    for (int i = 0; i < 3; ++i)
        cmdNav_Click(3);
    cmdNav_Click(4);
    // A run that did not come to its end (a check or a run-time error stopped it) must still
    // end the program, with a status that says so.
    if (!m_closed) {
        if (EndStatus() == ExitOk)
            SetEndStatus(m_transferOutcome == TransferOutcome::NotRun ? ExitIncomplete : ExitError);
        close();
    }
}

int frmWizard::UnattendedStatus() const
{
    switch (m_transferOutcome) {
    case TransferOutcome::CannotOpen:
        return ExitCannotOpen;
    case TransferOutcome::Busy:
        return ExitBusy;
    case TransferOutcome::Completed:
        return m_handled > 0 && m_done == m_handled && m_ejKlara.isEmpty() ? ExitOk : ExitIncomplete;
    case TransferOutcome::NotRun:
        return ExitIncomplete;
    default:
        return ExitError;
    }
}

void frmWizard::LogUnattendedRun() const
{
    // One line per run beside the settings file, for whoever looks after the schedule, and under
    // it one indented line for each item not done, which also go to standard error.
    QString text = QDateTime::currentDateTime().toString(Qt::ISODate) + QStringLiteral("\tprofile=") + gsAutoArg +
                   QStringLiteral("\trange=") + dtpStartTid->dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                   QStringLiteral("..") + dtpSlutTid->dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                   QStringLiteral("\tdone=") + QString::number(m_done) + QStringLiteral("\thandled=") +
                   QString::number(m_handled) + QStringLiteral("\tstatus=") + QString::number(m_endStatus) +
                   QLatin1Char(' ') + ExitStatusName(m_endStatus) +
                   // What a "/plan" run said it would do, counted the same way.
                   QStringLiteral("\tcreated=%1\tupdated=%2\tunchanged=%3\trefused=%4\n")
                       .arg(m_räkning.nya)
                       .arg(m_räkning.ändrade)
                       .arg(m_räkning.oförändrade)
                       .arg(m_räkning.avvisade);
    for (const QString& item : m_ejKlara + m_anmärkningar) {
        text += QStringLiteral("\t") + item + QLatin1Char('\n');
        std::fprintf(stderr, "%s: %s\n", qPrintable(T("R2307")), item.toLocal8Bit().constData());
    }
    vb::AppendToLog(RunLogFile(), text);
}
