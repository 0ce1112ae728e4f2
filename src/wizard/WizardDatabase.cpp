// The database location: the configured path, the path field and the path dialog.
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "booking/DBFunk.h"
#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "platform/MsgBox.h"
#include "settings/ProgramState.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmSokvag.h"

#include <QFileInfo>

using namespace vb;

QString frmWizard::DBSökväg()
{
    return Trap<QString>(
        [&]() -> QString {
            gsDataBas =
                GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), 255, gsIniFil)
                    .trimmed();
            return gsDataBas;
        },
        QString(), WizardErr("DBSökväg"));
}

void frmWizard::txtDB_Change()
{
    txtDB->setToolTip(txtDB->text());
}

frmSokvag* frmWizard::SökvägDialog()
{
    if (!m_sökväg)
        m_sökväg = new frmSokvag(this);
    return m_sökväg;
}

void frmWizard::BytDatabas(const QString& path)
{
    if (path == txtDB->text().trimmed() && path == gsDataBas)
        return;
    cboResurser->clear(); // the list fills it again from the new database
    gsDataBas = path;
    txtDB->setText(path);
}

void frmWizard::txtDB_Validate()
{
    TrapVoid(
        [&] {
            const QString path = txtDB->text().trimmed();
            if (path == gsDataBas) {
                txtDB->setText(path);
                return;
            }
            if (!booking::DBFunk::ÄrServerdatabas(path) && !QFileInfo(path).isFile()) {
                MsgBox(T("R0722"), vbExclamation, T("R2307"));
                txtDB->setText(gsDataBas);
                return;
            }
            BytDatabas(path);
        },
        WizardErr("txtDB_Validate"));
}

void frmWizard::cmdDB_Click()
{
    TrapVoid(
        [&] {
            frmSokvag* dialog = SökvägDialog();
            dialog->SetTag(QStringLiteral("Bläddra"));
            dialog->exec();
            if (dialog->Tag() == QLatin1String("Ok")) {
                const QString path = dialog->txtSökväg->text();
                if (path != txtDB->text().trimmed())
                    BytDatabas(path);
            }
            delete m_sökväg; // unloaded: every use starts with a fresh dialog
        },
        WizardErr("cmdDB_Click"), TrapWay([this] { delete m_sökväg; }));
}
