#pragma once
// The module Funktioner: fitting the item list's columns and the file dialog.
#include <QString>

class QWidget;
namespace vb {
class ListView;
}

// Fits every column to contents and header, except the hidden key columns "Nyckel1" and "Nyckel2".
void SetKolumner(vb::ListView* L);

// An open (or save) file dialog. Filter: "description|pattern|..." pairs. Gives the chosen
// file's full path, or the empty text when the user cancelled.
QString OpenSaveDialog(QWidget* Form, bool Save, long Flags, const QString& Filter, const QString& Title,
                       const QString& InitialDir, const QString& DefaultName);

// The "description|pattern|" pairs as name filters: "description (pattern)".
QStringList NameFilters(QString filter);
