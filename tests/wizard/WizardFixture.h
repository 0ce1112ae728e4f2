#pragma once
// A loaded wizard on its own temporary home, with every message box recorded.
#include "booking/BulkWriter.h"
#include "booking/DBFunk.h"
#include "platform/ListView.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "support/BoxAssert.h"
#include "support/ProgramFixture.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>

namespace testenv {

// Opens a test's own database; one that does not open ends the test program, saying why.
inline void OpenTestDatabase(booking::DBFunk& db, const QString& path)
{
    if (db.ÖppnaDatabas(path, 0, 0) != 1)
        qFatal("%s does not open: %s", qPrintable(path), qPrintable(db.SenasteFel()));
}

class WizardFixture {
public:
    void Start(const QString& lang = QStringLiteral("EN"))
    {
        StartProgram(lang);
        ended = -1;
        vb::SetEndHandler([this](int status) { ended = status; });
        boxes = std::make_unique<vb::MsgBoxRecorder>();
        wizard = new frmWizard;
        wizard->show();
        QApplication::processEvents();
    }
    void Stop()
    {
        delete wizard.data();
        boxes.reset();
        vb::SetEndHandler({});
    }

    // A ticked row in the item list, as the item list would give it.
    vb::ListItem* AddRow(const QString& key, bool ticked = true)
    {
        vb::ListItem* row = wizard->lvVisa->AddItem(-1, key, key);
        row->SetChecked(ticked);
        return row;
    }
    void AddResource(const QString& name, int id)
    {
        auto* item = new QListWidgetItem(name, wizard->lstResurser);
        item->setData(Qt::UserRole, id);
    }
    // A new, empty booking database (default statuses), made the one in use.
    QString UseNewDatabase(const QString& name = QStringLiteral("planum.db"))
    {
        const QString path = Root() + QLatin1Char('/') + name;
        QFile::remove(path);
        booking::DBFunk::SkapaDatabas(path);
        gsDataBas = path;
        wizard->txtDB->setText(path);
        return path;
    }

    int Step() const { return wizard->miAktuelltSteg; }
    int Shown() const { return wizard->ui.stepArea->currentIndex(); }

    QPointer<frmWizard> wizard;
    std::unique_ptr<vb::MsgBoxRecorder> boxes;
    int ended = -1;
};

} // namespace testenv
