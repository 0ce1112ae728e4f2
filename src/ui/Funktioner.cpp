#include "ui/Funktioner.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "settings/CTexter.h"

#include <QFileDialog>

using namespace vb;

namespace {
// "Error no: N (desc) in procedure P i Module Funktioner", in the language in use.
QString ModuleError(const ErrObject& e, const char* procedure)
{
    return ErrText(QStringLiteral("Error no: "), e,
                   QStringLiteral(") in procedure ") + QLatin1String(procedure) + QLatin1Char(' ') +
                       SpråkText("R6328", "i Module") + QStringLiteral(" Funktioner"));
}
} // namespace

void SetKolumner(vb::ListView* L)
{
    TrapVoid(
        [&] {
            const int count = L->ColumnCount();
            for (int i = 0; i < count; ++i) {
                const QString header = L->ColumnText(i);
                if (header != QLatin1String("Nyckel1") && header != QLatin1String("Nyckel2"))
                    L->FitColumn(i, true);
            }
        },
        [](const ErrObject& e) { return ModuleError(e, "SetKolumner"); });
}

QStringList NameFilters(QString filter)
{
    if (!filter.endsWith(QLatin1Char('|')))
        filter += QLatin1Char('|');
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            continue;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters.append(parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

QString OpenSaveDialog(QWidget* Form, bool Save, long Flags, const QString& Filter, const QString& Title,
                       const QString& InitialDir, const QString& DefaultName)
{
    return Trap<QString>(
        [&] {
            constexpr long kFileMustExist = 0x1000;
            QFileDialog dialog(Form, Title, InitialDir);
            dialog.setObjectName(QStringLiteral("OpenSaveDialog"));
            // Our own dialog, so that it looks the same everywhere and tests can drive it.
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            dialog.setFileMode(Save                       ? QFileDialog::AnyFile
                               : (Flags & kFileMustExist) ? QFileDialog::ExistingFile
                                                          : QFileDialog::AnyFile);
            dialog.setNameFilters(NameFilters(Filter));
            if (!DefaultName.isEmpty())
                dialog.selectFile(DefaultName);
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return QString();
            return dialog.selectedFiles().first();
        },
        QString(),
        [](const ErrObject& e) { return ModuleError(e, "OpenSaveDialog"); });
}
