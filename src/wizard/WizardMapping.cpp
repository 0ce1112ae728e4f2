// The field mapping step: Planum fields, Outlook fields and the mapping list.
#include "wizard/PlanumFields.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

#include <QApplication>
#include <QKeyEvent>
#include <cmath>

using namespace vb;

namespace {
// The Planum fields in list order: the identifier of the booking field name, the identifier of
// the name shown, and whether the field is offered for import.
struct PlanumField {
    const char* id;
    const char* shownId;
    bool import;
};
constexpr PlanumField kPlanumFields[] = {
    {"R0967", "R6400", false}, {"R0038", "R6401", true}, {"R0639", "R6402", true}, {"R0640", "R6403", true},
    {"R0641", "R6404", true},  {"R0643", "R6405", true}, {"R0933", "R6406", true}, {"R0321", "R6407", false},
    {"R0646", "R6408", true},  {"R0348", "R6409", true}, {"R0649", "R6410", true}, {"R0048", "R6411", true},
    {"R0039", "R6412", true},
};

// Where an entry of lstFält and column 1 of a mapping row keep the booking field name.
constexpr int kFältNamnRole = Qt::UserRole;
constexpr int kRadFältNamnRole = vb::ListItem::kSortRole + 1;

// The text of an identifier as the list shows it: the document field's "&" marks nothing here.
QString Fälttext(const PlanumField& field, const char* id)
{
    QString text = T(id);
    if (QLatin1String(field.id) == QLatin1String("R0933"))
        text.remove(QLatin1Char('&'));
    return text;
}
} // namespace

QString PlanumFältNamn(const QListWidgetItem* entry)
{
    const QVariant name = entry->data(kFältNamnRole);
    return name.isValid() ? name.toString() : entry->text();
}

QString PlanumFältNamn(const vb::ListItem* row)
{
    const QVariant name = row->data(1, kRadFältNamnRole);
    return name.isValid() ? name.toString() : row->SubItem(1);
}

void SättPlanumFält(vb::ListItem* row, const QListWidgetItem* entry)
{
    row->SetSubItem(1, entry->text(), QStringLiteral("Ft"));
    row->setData(1, kRadFältNamnRole, PlanumFältNamn(entry));
}

QString VisatFältNamn(const QString& name)
{
    for (const PlanumField& field : kPlanumFields) {
        if (Fälttext(field, field.id) != name)
            continue;
        const QString shown = Fälttext(field, field.shownId);
        return shown.isEmpty() ? name : shown;
    }
    return name;
}

QString VisatPostFältNamn(const QString& property)
{
    // Properties behind a booking field name of another spelling, and those no list names,
    // with the identifier of their name and the built-in Swedish for a file without it.
    struct Egenskap {
        const char* property;
        const char* fältNamn; // the booking field name, shown as the lists show it
        const char* id;
        const char* svenska;
    };
    static constexpr Egenskap kEgenskaper[] = {
        {"StartTid", "Starttid", nullptr, nullptr},
        {"SlutTid", "Sluttid", nullptr, nullptr},
        {"Följesedelsnr", "Pris", nullptr, nullptr}, // one property behind both names
        {"Status", nullptr, "R2272", "Status"},
        {"PersonID", nullptr, "R0558", "Resurs"},
        {"Bokningsnr", nullptr, "R2177", "Bokningsnummer"},
        {"Minuter", nullptr, "R6413", "Minuter"},
        {"Betalningsvillkor", nullptr, "R6414", "Betalningsvillkor"},
    };
    for (const Egenskap& e : kEgenskaper) {
        if (property != QString::fromUtf8(e.property))
            continue;
        return e.fältNamn ? VisatFältNamn(QString::fromUtf8(e.fältNamn)) : SpråkText(e.id, e.svenska);
    }
    return VisatFältNamn(property);
}

void frmWizard::PlanumFält(bool bImport)
{
    TrapVoid(
        [&] {
            lstFält->clear();
            for (const PlanumField& field : kPlanumFields) {
                if (bImport && !field.import)
                    continue;
                // The booking field name is the field; a language without a name of its own for it
                // shows the booking field name.
                const QString name = Fälttext(field, field.id);
                const QString shown = Fälttext(field, field.shownId);
                auto* entry = new QListWidgetItem(shown.isEmpty() ? name : shown, lstFält);
                entry->setData(kFältNamnRole, name);
            }
        },
        WizardErr("PlanumFält"));
}

void frmWizard::OutLookFält()
{
    TrapVoid(
        [&] {
            lstOutLook->clear();
            if (optKalender->isChecked()) {
                lstOutLook->addItem(T("R2234"));
                lstOutLook->addItem(T("R2298"));
                lstOutLook->addItem(T("R2267"));
            }
        },
        WizardErr("OutLookFält"));
}

void frmWizard::SättListView()
{
    TrapVoid(
        [&] {
            lvKopplingar->ClearColumns();
            const int w = lvKopplingar->WidthTwips();
            lvKopplingar->AddColumn(QStringLiteral("Key"), 0);
            lvKopplingar->AddColumn(T("R2241"), w / 2 - 180);
            lvKopplingar->AddColumn(T("R2233"), w - (w / 2) - 180);
            lvKopplingar->AddColumn(QStringLiteral("Nyckel"), 0);
            lvKopplingar->ClearItems();
        },
        WizardErr("SättListView"));
}

void frmWizard::lstFält_Click()
{
    TrapVoid(
        [&] {
            cmdLäggTill->setEnabled(lstFält->currentRow() >= 0 && lstOutLook->currentRow() >= 0 &&
                                    !lstFält->selectedItems().isEmpty() && !lstOutLook->selectedItems().isEmpty());
        },
        WizardErr("lstFält_Click"));
}

void frmWizard::lstOutLook_Click()
{
    TrapVoid(
        [&] {
            cmdLäggTill->setEnabled(lstFält->currentRow() >= 0 && lstOutLook->currentRow() >= 0 &&
                                    !lstFält->selectedItems().isEmpty() && !lstOutLook->selectedItems().isEmpty());
        },
        WizardErr("lstOutLook_Click"));
}

void frmWizard::cmdLäggTill_Click()
{
    TrapVoid(
        [&] {
            if (lvKopplingar->Count() > 0 && m_nextSerial == 0)
                m_nextSerial = short(lvKopplingar->Item(lvKopplingar->Count())->Key().mid(1).toInt() + 1);
            ListItem* row = lvKopplingar->AddItem(-1, QStringLiteral("k") + QString::number(m_nextSerial),
                                                  QString::number(lstFält->currentRow()));
            m_currentMappingKey = row->Key();
            SättPlanumFält(row, lstFält->currentItem());
            row->SetSubItem(2, lstOutLook->currentItem()->text(), QStringLiteral("bm"));
            if (lvKopplingar->isVisible() && lvKopplingar->isEnabled()) {
                lvKopplingar->setFocus();
                QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
                QApplication::sendEvent(lvKopplingar, &end);
                lvKopplingar->repaint();
                lvKopplingar->repaint();
            }
            ++m_nextSerial;
            lstFält->setCurrentRow(-1);
            lstFält->clearSelection();
            lstOutLook->setCurrentRow(-1);
            lstOutLook->clearSelection();
            cmdLäggTill->setEnabled(false);
            cmdTaBortAlla->setEnabled(true);
        },
        WizardErr("cmdLäggTill_Click"));
}

void frmWizard::cmdTaBort_Click()
{
    TrapVoid(
        [&] {
            if (m_currentMappingKey.isEmpty())
                return;
            // The current row may already be gone (all removed): then this fails and reports it.
            lvKopplingar->Remove(lvKopplingar->ItemByKey(m_currentMappingKey));
            cmdTaBortAlla->setEnabled(lvKopplingar->Count() > 0);
            cmdTaBort->setEnabled(false);
        },
        WizardErr("cmdTaBort_Click"));
}

void frmWizard::cmdTaBortAlla_Click()
{
    TrapVoid(
        [&] {
            lvKopplingar->ClearItems();
            cmdTaBortAlla->setEnabled(false);
        },
        WizardErr("cmdTaBortAlla_Click"));
}

void frmWizard::lvKopplingar_ColumnClick(int column)
{
    TrapVoid(
        [&] {
            lvKopplingar->SetSortOrder(lvKopplingar->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                       : Qt::AscendingOrder);
            lvKopplingar->SetSortKey(column);
            lvKopplingar->SetSorted(true);
        },
        WizardErr("lvKopplingar_ColumnClick"));
}

void frmWizard::lvKopplingar_ItemClick(vb::ListItem* Item)
{
    TrapVoid(
        [&] {
            m_currentMappingKey = Item->Key();
            cmdTaBort->setEnabled(true);
        },
        WizardErr("lvKopplingar_ItemClick"));
}

void frmWizard::chkAnvändNyckel_Click()
{
    TrapVoid(
        [&] {
            if (!chkAnvändNyckel->isChecked()) {
                lstResurser->setEnabled(true);
            } else if (!gbAuto) {
                lstResurser->setCurrentRow(0);
                lstResurser->setCurrentRow(-1);
                lstResurser->clearSelection();
                lstResurser->setEnabled(false);
            }
        },
        WizardErr("chkAnvändNyckel_Click"));
}
