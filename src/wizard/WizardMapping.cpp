// The field mapping step: Planum fields, Outlook fields and the mapping list.
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
// The Planum fields in list order, and whether each is offered for import.
struct PlanumField {
    const char* id;
    bool import;
};
constexpr PlanumField kPlanumFields[] = {
    {"R0967", false}, {"R0038", true}, {"R0639", true},  {"R0640", true}, {"R0641", true},
    {"R0643", true},  {"R0933", true}, {"R0321", false}, {"R0646", true}, {"R0348", true},
    {"R0649", true},  {"R0048", true}, {"R0039", true},
};
} // namespace

void frmWizard::PlanumFält(bool bImport)
{
    try {
        lstFält->clear();
        for (const PlanumField& field : kPlanumFields) {
            if (bImport && !field.import)
                continue;
            QString text = T(field.id);
            if (QLatin1String(field.id) == QLatin1String("R0933"))
                text.remove(QLatin1Char('&'));
            lstFält->addItem(text);
        }
    } catch (...) {
        ShowFormError("PlanumFält");
    }
}

void frmWizard::OutLookFält()
{
    try {
        lstOutLook->clear();
        if (optKalender->isChecked()) {
            lstOutLook->addItem(T("R2234"));
            lstOutLook->addItem(T("R2298"));
            lstOutLook->addItem(T("R2267"));
        }
    } catch (...) {
        ShowFormError("OutLookFält");
    }
}

void frmWizard::SättListView()
{
    try {
        lvKopplingar->ClearColumns();
        const int w = lvKopplingar->WidthTwips();
        lvKopplingar->AddColumn(QStringLiteral("Key"), 0);
        lvKopplingar->AddColumn(T("R2241"), w / 2 - 180);
        lvKopplingar->AddColumn(T("R2233"), w - (w / 2) - 180);
        lvKopplingar->AddColumn(QStringLiteral("Nyckel"), 0);
        lvKopplingar->ClearItems();
    } catch (...) {
        ShowFormError("SättListView");
    }
}

void frmWizard::lstFält_Click()
{
    try {
        cmdLäggTill->setEnabled(lstFält->currentRow() >= 0 && lstOutLook->currentRow() >= 0 &&
                                !lstFält->selectedItems().isEmpty() && !lstOutLook->selectedItems().isEmpty());
    } catch (...) {
        ShowFormError("lstFält_Click");
    }
}

void frmWizard::lstOutLook_Click()
{
    try {
        cmdLäggTill->setEnabled(lstFält->currentRow() >= 0 && lstOutLook->currentRow() >= 0 &&
                                !lstFält->selectedItems().isEmpty() && !lstOutLook->selectedItems().isEmpty());
    } catch (...) {
        ShowFormError("lstOutLook_Click");
    }
}

void frmWizard::cmdLäggTill_Click()
{
    try {
        if (lvKopplingar->Count() > 0 && m_nextSerial == 0)
            m_nextSerial = short(lvKopplingar->Item(lvKopplingar->Count())->Key().mid(1).toInt() + 1);
        ListItem* row = lvKopplingar->AddItem(-1, QStringLiteral("k") + QString::number(m_nextSerial),
                                              QString::number(lstFält->currentRow()));
        m_currentMappingKey = row->Key();
        row->SetSubItem(1, lstFält->currentItem()->text(), QStringLiteral("Ft"));
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
    } catch (...) {
        ShowFormError("cmdLäggTill_Click");
    }
}

void frmWizard::cmdTaBort_Click()
{
    try {
        if (m_currentMappingKey.isEmpty())
            return;
        // The current row may already be gone (all removed): then this fails and reports it.
        lvKopplingar->Remove(lvKopplingar->ItemByKey(m_currentMappingKey));
        cmdTaBortAlla->setEnabled(lvKopplingar->Count() > 0);
        cmdTaBort->setEnabled(false);
    } catch (...) {
        ShowFormError("cmdTaBort_Click");
    }
}

void frmWizard::cmdTaBortAlla_Click()
{
    try {
        lvKopplingar->ClearItems();
        cmdTaBortAlla->setEnabled(false);
    } catch (...) {
        ShowFormError("cmdTaBortAlla_Click");
    }
}

void frmWizard::lvKopplingar_ColumnClick(int column)
{
    try {
        lvKopplingar->SetSortOrder(lvKopplingar->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                   : Qt::AscendingOrder);
        lvKopplingar->SetSortKey(column);
        lvKopplingar->SetSorted(true);
    } catch (...) {
        ShowFormError("lvKopplingar_ColumnClick");
    }
}

void frmWizard::lvKopplingar_ItemClick(vb::ListItem* Item)
{
    try {
        m_currentMappingKey = Item->Key();
        cmdTaBort->setEnabled(true);
    } catch (...) {
        ShowFormError("lvKopplingar_ItemClick");
    }
}

void frmWizard::chkAnvändNyckel_Click()
{
    try {
        if (!chkAnvändNyckel->isChecked()) {
            lstResurser->setEnabled(true);
        } else if (!gbAuto) {
            lstResurser->setCurrentRow(0);
            lstResurser->setCurrentRow(-1);
            lstResurser->clearSelection();
            lstResurser->setEnabled(false);
        }
    } catch (...) {
        ShowFormError("chkAnvändNyckel_Click");
    }
}
