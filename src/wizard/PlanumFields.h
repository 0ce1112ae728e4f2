#pragma once
// The Planum fields of the mapping step. A field goes by its booking field name ("Kundnamn",
// "Notering", ...): what a profile stores and the transfer reads and writes, the same in every
// language, so a profile saved in one language runs in the other. The lists show the name in
// the language in use.
#include <QString>

class QListWidgetItem;
namespace vb {
class ListItem;
}

// The booking field name of an entry of lstFält; its text for an entry that carries none.
QString PlanumFältNamn(const QListWidgetItem* entry);
// The booking field name of a mapping row of lvKopplingar (column 1); its text for a row that
// carries none.
QString PlanumFältNamn(const vb::ListItem* row);
// Puts the entry's field on a mapping row: shown as the entry shows it, with its name kept.
void SättPlanumFält(vb::ListItem* row, const QListWidgetItem* entry);
// The name the language in use shows for a booking field name; the name itself when the language
// has none.
QString VisatFältNamn(const QString& name);
// The name the language in use shows for a booking property that an import changes, as
// booking::Skillnader names it (a database column name): the field's name in the lists where
// it has one.
QString VisatPostFältNamn(const QString& property);
