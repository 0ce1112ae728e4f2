#pragma once
// frmAvslutning: confirms a finished transfer with its summary and asks whether the wizard ends.
#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace Ui {
class frmAvslutning;
}

class frmAvslutning : public QDialog {
    Q_OBJECT
public:
    explicit frmAvslutning(QWidget* parent = nullptr);
    ~frmAvslutning() override;
    Q_DISABLE_COPY_MOVE(frmAvslutning)

    // The controls the wizard and its tests answer the dialog through: the dialog is the
    // wizard's own, filled and read by it.
    // NOLINTBEGIN(cppcoreguidelines-non-private-member-variables-in-classes)
    QCheckBox* chkSlut;
    QLabel* lblConfirm;
    QPushButton* cmdOK;
    QListWidget* lstEjKlara;
    // NOLINTEND(cppcoreguidelines-non-private-member-variables-in-classes)

    void Form_Load();
    void cmdOk_Click();
    // Names the items the run did not do, each with its reason, under the summary; the tick
    // turns into a warning sign when there are any.
    void VisaEjKlara(const QStringList& items, const QStringList& remarks = QStringList());

protected:
    void reject() override; // Escape works as OK

private:
    std::unique_ptr<Ui::frmAvslutning> ui;
};
