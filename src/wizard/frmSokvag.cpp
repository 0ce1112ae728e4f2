#include "wizard/frmSokvag.h"
#include "ui_frmSokvag.h"

#include "platform/ControlType.h"
#include "platform/ErrObject.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "ui/Funktioner.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QTimer>

using namespace vb;

frmSokvag::frmSokvag(frmWizard* wizard)
    : QDialog(wizard), ui(std::make_unique<Ui::frmSokvag>()), m_wizard(wizard)
{
    ui->setupUi(this);
    txtSökväg = ui->txtSökväg;
    cmdBläddra = ui->cmdBläddra;
    cmdOk = ui->cmdOk;
    cmdAvbryt = ui->cmdAvbryt;
    connect(cmdBläddra, &QPushButton::clicked, this, &frmSokvag::cmdBläddra_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmSokvag::cmdOk_Click);
    connect(cmdAvbryt, &QPushButton::clicked, this, &frmSokvag::cmdAvbryt_Click);
    Form_Load();
}

frmSokvag::~frmSokvag() = default;

QString frmSokvag::Tag() const
{
    return vb::Tag(this);
}

void frmSokvag::SetTag(const QString& tag)
{
    vb::SetTag(this, tag);
}

void frmSokvag::Form_Load()
{
    goTexter->SetTextOfForm(this);
    txtSökväg->setText(m_wizard->txtDB->text().trimmed());
    QApplication::restoreOverrideCursor();
}

void frmSokvag::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Activation comes once the dialog is on screen.
    QTimer::singleShot(0, this, &frmSokvag::Form_Activate);
}

void frmSokvag::Form_Activate()
{
    if (Tag() != QStringLiteral("Bläddra"))
        return;
    cmdBläddra_Click();
    if (!txtSökväg->text().isEmpty())
        SetTag(QStringLiteral("Ok"));
    hide();
    done(QDialog::Accepted);
}

void frmSokvag::cmdBläddra_Click()
{
    TrapVoid(
        [&] {
            const QString path = txtSökväg->text();
            const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
            const QString initialDir = slash >= 0 ? path.left(slash + 1) : gsDataBas;
            const QString result =
                OpenSaveDialog(this, false, 2103300, goTexter->TextTillAndra(QStringLiteral("R2310")),
                               goTexter->TextTillAndra(QStringLiteral("R1823")), initialDir, QString());
            if (result == QLatin1String("*.db") || result.isEmpty())
                return;
            txtSökväg->setText(result);
            if (Tag() != QStringLiteral("Bläddra"))
                cmdOk->setFocus();
            else
                hide();
        },
        FormMessage(QStringLiteral("frmSökväg"), QStringLiteral("cmdBläddra_Click")));
}

void frmSokvag::cmdOk_Click()
{
    SetTag(QStringLiteral("Ok"));
    hide();
    done(QDialog::Accepted);
}

void frmSokvag::cmdAvbryt_Click()
{
    SetTag(QString());
    hide();
    done(QDialog::Rejected);
}

void frmSokvag::reject()
{
    cmdAvbryt_Click();
}
