#pragma once
// frmAvslutning: confirms a finished transfer with its summary and asks whether the wizard ends.
#include "ui_frmAvslutning.h"

#include <QDialog>

class frmAvslutning : public QDialog {
    Q_OBJECT
public:
    explicit frmAvslutning(QWidget* parent = nullptr);

    Ui::frmAvslutning ui;
    QCheckBox* chkSlut;
    QLabel* lblConfirm;
    QPushButton* cmdOK;

    void Form_Load();
    void cmdOk_Click();

protected:
    void reject() override; // Escape works as OK
};
