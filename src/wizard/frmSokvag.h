#pragma once
// frmSökväg: the small dialog through which the wizard picks another database file. Its Tag
// is the channel: the wizard sets "Bläddra" (go straight to the file dialog); the dialog
// answers "Ok" (a path was confirmed) or the empty text (cancelled).
#include <QDialog>
#include <memory>

class QLineEdit;
class QPushButton;

namespace Ui {
class frmSokvag;
}

class frmWizard;

class frmSokvag : public QDialog {
    Q_OBJECT
public:
    explicit frmSokvag(frmWizard* wizard);
    ~frmSokvag() override;
    Q_DISABLE_COPY_MOVE(frmSokvag)

    // The wizard reads the path it asked for from the box of its own dialog.
    // NOLINTBEGIN(cppcoreguidelines-non-private-member-variables-in-classes)
    QLineEdit* txtSökväg;
    QPushButton *cmdBläddra, *cmdOk, *cmdAvbryt;
    // NOLINTEND(cppcoreguidelines-non-private-member-variables-in-classes)

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
    std::unique_ptr<Ui::frmSokvag> ui;
    frmWizard* m_wizard;
};
