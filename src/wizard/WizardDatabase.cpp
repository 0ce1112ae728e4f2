// The database location: the configured path, the path field and the path dialog.
#include "wizard/frmWizard.h"

#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "settings/ProgramState.h"
#include "wizard/frmSokvag.h"

using namespace vb;

QString frmWizard::DBSökväg()
{
    try {
        gsDataBas =
            GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), 255, gsIniFil)
                .trimmed();
        return gsDataBas;
    } catch (...) {
        ShowFormError("DBSökväg");
        return QString();
    }
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

void frmWizard::cmdDB_Click()
{
    try {
        frmSokvag* dialog = SökvägDialog();
        dialog->SetTag(QStringLiteral("Bläddra"));
        dialog->exec();
        if (dialog->Tag() == QLatin1String("Ok")) {
            const QString path = dialog->txtSökväg->text();
            if (path != txtDB->text().trimmed()) {
                cboResurser->clear();
                gsDataBas = path;
                txtDB->setText(path);
            }
        }
        delete m_sökväg; // unloaded: every use starts with a fresh dialog
    } catch (...) {
        delete m_sökväg;
        ShowFormError("cmdDB_Click");
    }
}
