#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "booking/DBFunk.h"
#include "wizard/OpeningProgress.h"
#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ExitStatus.h"
#include "settings/ProgramState.h"
#include "ui/clsListView.h"
#include "wizard/AutoArg.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmAvslutning.h"
#include "wizard/frmSokvag.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>

using namespace vb;

namespace {
QPointer<frmWizard> g_wizard;

// The adapter's words in the language in use; where the language file lacks them the adapter
// keeps its built-in Swedish.
class AdapterTexter : public IOutLookTexter {
public:
    [[nodiscard]] QString Text(Ord ord) const override
    {
        switch (ord) {
        case Ord::IClassModule:
            return T("R6326");
        case Ord::IngenKontakt:
            return T("R2217");
        case Ord::InteKvar:
            return T("R6332");
        case Ord::FelNummer:
            return T("R6333");
        }
        return {};
    }
};
const AdapterTexter kAdapterTexter;
} // namespace

frmWizard* TheWizard()
{
    if (!g_wizard)
        g_wizard = new frmWizard;
    return g_wizard;
}

void ForgetWizard()
{
    g_wizard = nullptr;
}

namespace {
// The generated controls exist before the aliases below are taken from them.
std::unique_ptr<Ui::frmWizard> MadeUi(QWidget* form)
{
    auto ui = std::make_unique<Ui::frmWizard>();
    ui->setupUi(form);
    return ui;
}
} // namespace

frmWizard::frmWizard(QWidget* parent)
    : QWidget(parent), ui(MadeUi(this)),
      fraStep{ui->fraStep_0, ui->fraStep_1, ui->fraStep_2, ui->fraStep_3, ui->fraStep_4},
      cmdNav{nullptr, ui->cmdNav_1, ui->cmdNav_2, ui->cmdNav_3, ui->cmdNav_4},
      cboProfiler{ui->cboProfiler_0, ui->cboProfiler_1}, cmdAlla{ui->cmdAlla_0, ui->cmdAlla_1},
      lblStep{ui->lblStep_0, ui->lblStep_1, ui->lblStep_2, ui->lblStep_3, nullptr, ui->lblStep_5},
      lblDiv{ui->lblDiv_0, ui->lblDiv_1}, optImport(ui->optImport), optExport(ui->optExport),
      optKalender(ui->optKalender), optNotering(ui->optNotering), optUppgifter(ui->optUppgifter),
      chkPlanumBokningar(ui->chkPlanumBokningar), chkOverLapp(ui->chkOverLapp), chkAnvändNyckel(ui->chkAnvändNyckel),
      txtDB(ui->txtDB), cmdDB(ui->cmdDB), cmdProfilerTaBort(ui->cmdProfilerTaBort), cmdLäggTill(ui->cmdLäggTill),
      cmdTaBort(ui->cmdTaBort), cmdTaBortAlla(ui->cmdTaBortAlla), dtpStartTid(ui->dtpStartTid),
      dtpSlutTid(ui->dtpSlutTid), cboResurser(ui->cboResurser), lvVisa(ui->lvVisa), lvwStatus(ui->lvwStatus),
      lvKopplingar(ui->lvKopplingar), lstResurser(ui->lstResurser), lstFält(ui->lstFält), lstOutLook(ui->lstOutLook),
      lblValdTyp(ui->lblValdTyp), lblStatusKoll(ui->lblStatusKoll), imgFrånPlanum(ui->imgFrånPlanum),
      imgTillPlanum(ui->imgTillPlanum)
{
    setAttribute(Qt::WA_DeleteOnClose);

    const QString pickerFormat = ShortDateFormat() + QLatin1Char(' ') + ShortTimeFormat();
    dtpStartTid->setDisplayFormat(pickerFormat);
    dtpSlutTid->setDisplayFormat(pickerFormat);
    lvVisa->SetCheckboxes(true);
    SetValdTypFärg(QColor(0, 0, 192));

    for (int i = 1; i <= 4; ++i)
        connect(cmdNav[i], &QPushButton::clicked, this, [this, i] { cmdNav_Click(i); });
    connect(optExport, &QRadioButton::clicked, this, &frmWizard::optExport_Click);
    connect(optImport, &QRadioButton::clicked, this, &frmWizard::optImport_Click);
    connect(optKalender, &QRadioButton::clicked, this, &frmWizard::optKalender_Click);
    connect(optNotering, &QRadioButton::clicked, this, &frmWizard::optNotering_Click);
    connect(optUppgifter, &QRadioButton::clicked, this, &frmWizard::optUppgifter_Click);
    connect(lstFält, &QListWidget::itemClicked, this, &frmWizard::lstFält_Click);
    connect(lstOutLook, &QListWidget::itemClicked, this, &frmWizard::lstOutLook_Click);
    connect(cmdLäggTill, &QPushButton::clicked, this, &frmWizard::cmdLäggTill_Click);
    connect(cmdTaBort, &QPushButton::clicked, this, &frmWizard::cmdTaBort_Click);
    connect(cmdTaBortAlla, &QPushButton::clicked, this, &frmWizard::cmdTaBortAlla_Click);
    connect(lvKopplingar, &vb::ListView::ColumnClick, this, &frmWizard::lvKopplingar_ColumnClick);
    connect(lvKopplingar, &vb::ListView::ItemClick, this, &frmWizard::lvKopplingar_ItemClick);
    connect(chkAnvändNyckel, &QCheckBox::clicked, this, &frmWizard::chkAnvändNyckel_Click);
    connect(txtDB, &QLineEdit::textChanged, this, &frmWizard::txtDB_Change);
    connect(txtDB, &QLineEdit::editingFinished, this, &frmWizard::txtDB_Validate);
    connect(cmdDB, &QPushButton::clicked, this, &frmWizard::cmdDB_Click);
    connect(cmdProfilerTaBort, &QPushButton::clicked, this, &frmWizard::cmdProfilerTaBort_Click);
    connect(cboProfiler[0], qOverload<int>(&QComboBox::activated), this, [this] { cboProfiler_Click(0); });
    connectListSignals();

    // The form sees keys before its controls.
    qApp->installEventFilter(this);
    // Lay the form out at its designed size before loading, so that lists sized from their
    // width (the mapping list's columns) get the width they will be shown with.
    for (QLayout* layout : findChildren<QLayout*>())
        layout->activate();
    for (QWidget* page : ui->stepArea->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (page->layout())
            page->layout()->activate();
    Form_Load();
}

frmWizard::~frmWizard()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QDate frmWizard::StartTid() const
{
    return dtpStartTid->date();
}

QDate frmWizard::SlutTid() const
{
    return dtpSlutTid->date();
}

void frmWizard::SetValdTypFärg(const QColor& colour)
{
    QPalette palette = lblValdTyp->palette();
    palette.setColor(QPalette::WindowText, colour);
    lblValdTyp->setPalette(palette);
}

QColor frmWizard::ValdTypFärg() const
{
    return lblValdTyp->palette().color(QPalette::WindowText);
}

bool frmWizard::ValdTypRöd() const
{
    return ValdTypFärg() == QColor(255, 0, 0);
}

bool frmWizard::ValdTypBlå() const
{
    return ValdTypFärg() == QColor(0, 0, 255);
}

void frmWizard::Form_Load()
{
    TrapVoid(
        [&] {
            gbOutlookOK = false;
            txtDB->setText(QString());
            mbUpptagen = true;
            mbKanSlutföra = false;

            // A calendar whose opening reads many files (the first time) shows how far it has come.
            if (findChild<OpeningProgress*>() == nullptr)
                new OpeningProgress(this);
            if (!TrapVoid([&] { oOutLook = std::make_unique<COutLook>(this, gbOutlookOK, &kAdapterTexter); },
                          WizardErr("Form_Load"))) {
                // Without a calendar the wizard can do nothing: after the message the program ends.
                m_closeWithoutQuestion = true;
                EndProgram(ExitCannotOpen);
                return;
            }
            if (!gbOutlookOK) {
                MsgBox(goTexter->TextTillAndra(QStringLiteral("R2217")) + QStringLiteral("\r\n") +
                           goTexter->TextTillAndra(QStringLiteral("R2039")),
                       vbCritical, goTexter->TextTillAndra(QStringLiteral("R2307")));
                EndProgram(ExitCannotOpen);
                return;
            }

            if (!gbAuto) {
                goTexter->SetTextOfForm(this);
                // The kind of item shown before a direction is chosen: the calendar, in the language in use.
                if (const QString kind = goTexter->TextTillAndra(QStringLiteral("R1011")); !kind.isEmpty())
                    lblValdTyp->setText(kind);
            }

            SättListView();
            FyllProfiler();
            txtDB->setText(DBSökväg());

            lvwStatus->SetCheckboxes(true);
            if (!gbAuto) {
                lvwStatus->setHeaderHidden(true);
                lvwStatus->setSelectionMode(QAbstractItemView::SingleSelection);
                lvwStatus->setEditTriggers(QAbstractItemView::NoEditTriggers);
                lvwStatus->ClearColumns();
                lvwStatus->AddColumn(goTexter->TextTillAndra(QStringLiteral("R2272")), 0);
                // The layout value: the width of the one column.
                lvwStatus->SetColumnWidthTwips(0, lvwStatus->isHeaderHidden() ? 720 : 765);
                lvwStatus->header()->setStretchLastSection(true);
            }

            moStatusLista = std::make_unique<clsListView>();
            moStatusLista->SetListView(lvwStatus);

            for (int i = 0; i <= 4; ++i)
                fraStep[i]->setEnabled(false);

            const QDateTime now = QDateTime::currentDateTime();
            const QDateTime startHour = CDate(FormatShortDate(now.date()) + QLatin1Char(' ') +
                                              QStringLiteral("%1:00").arg(now.time().hour(), 2, 10, QLatin1Char('0')));
            const AutoArg arg = AutoArg::FromCommandLine(vb::ProcessArguments(), gsAutoArg);
            if (gbAuto && (arg.letter == u'd' || arg.letter == u'w')) {
                dtpSlutTid->setDateTime(startHour);
                dtpStartTid->setDateTime(arg.letter == u'd' ? startHour.addDays(-arg.count)
                                                            : startHour.addDays(-7LL * arg.count));
            } else {
                dtpStartTid->setDateTime(startHour);
                dtpSlutTid->setDateTime(startHour.addDays(1));
            }

            SetStep(0, 0);
            mbUpptagen = false;
        },
        WizardErr("Form_Load"));
}

void frmWizard::SättRubrik(short /*step*/)
{
    // The caption is not worth a message.
    (void)Attempt([this] { setWindowTitle(goTexter->TextTillAndra(QStringLiteral("R2307"))); });
}

void frmWizard::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // An unattended run must not wait for a window manager to activate the window.
    if (gbAuto && !m_firstActivationDone)
        QMetaObject::invokeMethod(this, &frmWizard::Form_Activate, Qt::QueuedConnection);
}

bool frmWizard::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        QMetaObject::invokeMethod(this, &frmWizard::Form_Activate, Qt::QueuedConnection);
    return QWidget::event(event);
}

void frmWizard::Form_Activate()
{
    if (!gbAuto) {
        if (!m_firstActivationDone) {
            m_firstActivationDone = true;
            cboProfiler[0]->setFocus();
        }
        return;
    }
    if (m_firstActivationDone)
        return;
    m_firstActivationDone = true;
    RunUnattended();
}

bool frmWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (key->key() == Qt::Key_A && miAktuelltSteg == 1) {
        if (mods == Qt::ControlModifier) {
            cmdAlla[1]->click();
            return true;
        }
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
            cmdAlla[0]->click();
            return true;
        }
    }
    if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
        cmdNav[1]->click();
        return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
        // Enter presses the focused button, else the default button.
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->click();
            return true;
        }
        for (int i = 3; i <= 4; ++i) {
            if (cmdNav[i]->isDefault() && cmdNav[i]->isEnabled()) {
                cmdNav[i]->click();
                return true;
            }
        }
    }
    return false;
}

void frmWizard::closeEvent(QCloseEvent* event)
{
    if (!gbAuto && !m_closeWithoutQuestion) {
        const QString title = goTexter->TextTillAndra(QStringLiteral("R2307"));
        const int answer =
            MsgBox(goTexter->TextTillAndra(QStringLiteral("R2167")) + QLatin1Char(' ') + title + QLatin1Char('?'),
                   vbYesNo | vbQuestion | vbDefaultButton2, title);
        if (answer == vbNo) {
            event->ignore();
            return;
        }
    }
    event->accept();
    m_closed = true;
    if (gbAuto && !gbPlan)
        LogUnattendedRun();
    oOutLook.reset();
    for (QWidget* form : QApplication::topLevelWidgets())
        if (form != this && form->isVisible())
            form->close();
    EndProgram(m_endStatus);
    goTexter.reset();
}

bool frmWizard::VisaAvslutning()
{
    frmAvslutning dialog(this);
    // Which calendar was written to: a folder, a file or a server may all be "the calendar".
    if (oOutLook && !goTexter->TextTillAndra(QStringLiteral("R6108")).isEmpty())
        dialog.lblConfirm->setText(dialog.lblConfirm->text() + QStringLiteral("\r\n") +
                                   goTexter->TextTillAndra(QStringLiteral("R6108")).arg(oOutLook->Plats()));
    // What the run did, counted as the finish step's plan counted it.
    dialog.lblConfirm->setText(dialog.lblConfirm->text() + QStringLiteral("\r\n") + RäkningText());
    dialog.VisaEjKlara(m_ejKlara, m_anmärkningar);
    dialog.exec();
    return dialog.chkSlut->isChecked();
}
