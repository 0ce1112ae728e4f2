#pragma once
// Profiles: named sets of wizard choices, one section of the settings file gsIniFil each,
// stored as one text under the key "Values":
//   optImport=False;optKalender=True;optNotering=False;optUppgifter=False;cboResurser=12;
//   DataBas=/data/kund.db;chkPlanumBokningar=1;Koppling1=Kundnamn,Ämne
// (one line). Booleans are "True"/"False", the check box a digit; nothing is escaped, so a
// value holding ";" cannot be read back whole. The section "System" is never a profile.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

struct ProfileChoices {
    bool optImport = false;
    bool optKalender = true;
    bool optNotering = false;
    bool optUppgifter = false;
    std::optional<qint32> cboResurser; // item data of the selected entry, when one is selected
    std::optional<qint32> lstResurser;
    QString DataBas;
    std::optional<QString> Status; // the selected status's number, when the list has items
    int chkPlanumBokningar = 0;
    QList<QPair<QString, QString>> Kopplingar; // Planum field, Outlook field; in row order
};

// The stored text of a set of choices.
QString ProfileText(const ProfileChoices& choices);

// The value of one field of a profile text: from just after the first "name=" to the next ";"
// (or the end). Nothing when the name is absent. Names are case-sensitive.
std::optional<QString> ProfileField(const QString& text, const QString& name);

void SparaProfil(QString& ProfileName, const ProfileChoices& choices);
QString HämtaProfil(QString& ProfileName);
// The profile names in file order (every section but "System").
QStringList ProfilNamn();
// Deletes the profile's section; true when the settings file was written. The caller asks first.
bool TaBortProfil(const QString& ProfileName);
