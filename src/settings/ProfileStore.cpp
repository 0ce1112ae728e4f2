#include "settings/ProfileStore.h"

#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

#include <QStringList>

using namespace vb;

namespace {
const QString kValues = QStringLiteral("Values");

QString Bool(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

auto ModuleError(const char* procedure, const char* after = "")
{
    return [procedure, after](const ErrObject& e) {
        return ErrText(QStringLiteral("Error no: "), e,
                       QStringLiteral(") in procedure ") + QString::fromUtf8(procedure) + QLatin1Char(' ') +
                           SpråkText("R6328", "i Module") + QStringLiteral(" modWizard") + QString::fromUtf8(after));
    };
}
} // namespace

QString ProfileText(const ProfileChoices& c)
{
    QString text = QStringLiteral("optImport=") + Bool(c.optImport);
    text += QStringLiteral(";optKalender=") + Bool(c.optKalender);
    text += QStringLiteral(";optNotering=") + Bool(c.optNotering);
    text += QStringLiteral(";optUppgifter=") + Bool(c.optUppgifter);
    if (c.cboResurser)
        text += QStringLiteral(";cboResurser=") + QString::number(*c.cboResurser);
    if (c.lstResurser)
        text += QStringLiteral(";lstResurser=") + QString::number(*c.lstResurser);
    text += QStringLiteral(";DataBas=") + c.DataBas;
    if (c.Status)
        text += QStringLiteral(";Status=") + *c.Status;
    text += QStringLiteral(";chkPlanumBokningar=") + QString::number(c.chkPlanumBokningar);
    for (qsizetype n = 0; n < c.Kopplingar.size(); ++n)
        text += QStringLiteral(";Koppling") + QString::number(n + 1) + QLatin1Char('=') + c.Kopplingar[n].first +
                QLatin1Char(',') + c.Kopplingar[n].second;
    return text;
}

std::optional<QString> ProfileField(const QString& text, const QString& name)
{
    const QString search = name + QLatin1Char('=');
    const qsizetype at = text.indexOf(search);
    if (at < 0)
        return std::nullopt;
    const qsizetype from = at + search.size();
    const qsizetype end = text.indexOf(QLatin1Char(';'), from);
    return end < 0 ? text.mid(from) : text.mid(from, end - from);
}

void SparaProfil(QString& ProfileName, const ProfileChoices& choices)
{
    TrapVoid(
        [&] {
            if (!WritePrivateProfileString(ProfileName, kValues, ProfileText(choices), gsIniFil))
                Raise(ErrPermissionDenied, IniLastError());
        },
        ModuleError("SparaProfil", " 0"));
}

QString HämtaProfil(QString& ProfileName)
{
    return Trap<QString>(
        [&] { return GetPrivateProfileString(ProfileName, kValues, QString(), 8000, gsIniFil).trimmed(); }, QString(),
        ModuleError("HämtaProfil"));
}

QStringList ProfilNamn()
{
    return Trap<QStringList>(
        [] {
            QString buffer;
            GetPrivateProfileSectionNames(buffer, 2048, gsIniFil);
            QStringList names;
            for (const QString& name : buffer.split(QChar(0))) {
                if (!name.isEmpty() && name != QLatin1String("System"))
                    names << name;
            }
            return names;
        },
        QStringList(), ModuleError("FyllProfiler"));
}

bool TaBortProfil(const QString& ProfileName)
{
    return WritePrivateProfileString(ProfileName, QString(), QString(), gsIniFil);
}
