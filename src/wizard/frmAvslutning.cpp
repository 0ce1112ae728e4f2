#include "wizard/frmAvslutning.h"

#include "platform/ErrObject.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

using namespace vb;

frmAvslutning::frmAvslutning(QWidget* parent) : QDialog(parent)
{
    ui.setupUi(this);
    chkSlut = ui.chkSlut;
    lblConfirm = ui.lblConfirm;
    cmdOK = ui.cmdOK;
    connect(cmdOK, &QPushButton::clicked, this, &frmAvslutning::cmdOk_Click);
    Form_Load();
}

void frmAvslutning::Form_Load()
{
    try {
        goTexter->SetTextOfForm(this);
        chkSlut->setChecked(false);
        lblConfirm->setText(lblConfirm->text() + QStringLiteral("\r\n\r\n") + gsBekräftelse);
    } catch (...) {
        ShowErr(FormErrText(CurrentError(), QStringLiteral("Form_Load"), QStringLiteral("frmAvslutning")));
    }
}

void frmAvslutning::cmdOk_Click()
{
    hide();
    accept();
}

void frmAvslutning::reject()
{
    cmdOk_Click();
}
