#pragma once
// frmSökväg: the small dialog through which the wizard picks another database file. Its Tag
// is the channel: the wizard sets "Bläddra" (go straight to the file dialog); the dialog
// answers "Ok" (a path was confirmed) or the empty text (cancelled).
#include "ui_frmSokvag.h"

#include <QDialog>

class frmWizard;

class frmSokvag : public QDialog {
    Q_OBJECT
public:
    explicit frmSokvag(frmWizard* wizard);

    Ui::frmSokvag ui;
    QLineEdit* txtSökväg;
    QPushButton *cmdBläddra, *cmdOk, *cmdAvbryt;

    QString Tag() const;
    void SetTag(const QString& tag);

    void Form_Load();
    void Form_Activate();
    void cmdBläddra_Click();
    void cmdOk_Click();
    void cmdAvbryt_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    frmWizard* m_wizard;
};
