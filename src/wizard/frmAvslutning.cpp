#include "wizard/frmAvslutning.h"
#include "ui_frmAvslutning.h"

#include "platform/ErrObject.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

using namespace vb;

frmAvslutning::frmAvslutning(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::frmAvslutning>())
{
    ui->setupUi(this);
    chkSlut = ui->chkSlut;
    lblConfirm = ui->lblConfirm;
    cmdOK = ui->cmdOK;
    lstEjKlara = ui->lstEjKlara;
    connect(cmdOK, &QPushButton::clicked, this, &frmAvslutning::cmdOk_Click);
    Form_Load();
}

frmAvslutning::~frmAvslutning() = default;

void frmAvslutning::Form_Load()
{
    TrapVoid(
        [&] {
            goTexter->SetTextOfForm(this);
            chkSlut->setChecked(false);
            lblConfirm->setText(lblConfirm->text() + QStringLiteral("\r\n\r\n") + gsBekräftelse);
        },
        FormMessage(QStringLiteral("frmAvslutning"), QStringLiteral("Form_Load")));
}

void frmAvslutning::VisaEjKlara(const QStringList& items, const QStringList& remarks)
{
    lstEjKlara->clear();
    lstEjKlara->setVisible(!items.isEmpty() || !remarks.isEmpty());
    lstEjKlara->addItems(items);
    lstEjKlara->addItems(remarks);
    if (items.isEmpty())
        return;
    lblConfirm->setText(lblConfirm->text() + QStringLiteral("\r\n") + QString::number(items.size()) + QLatin1Char(' ') +
                        goTexter->TextTillAndra(QStringLiteral("R6001")));
    ui->Image1->setText(QStringLiteral("⚠"));
    ui->Image1->setStyleSheet(QStringLiteral("color: rgb(192,96,0); font-size: 28pt;"));
    resize(width(), qMax(height(), 320));
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
