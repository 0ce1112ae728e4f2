#include "wizard/OpeningProgress.h"

#include "booking/DBFunk.h"
#include "calendar/Calendar.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

#include <QApplication>
#include <QProgressDialog>
#include <QUrl>

namespace {
QProgressDialog* NewDialog(QWidget* parent, const QString& label)
{
    auto* dialog = new QProgressDialog(label, QString(), 0, 0, parent);
    dialog->setObjectName(QStringLiteral("dlgOpening"));
    dialog->setWindowTitle(SpråkText("R2307", "Almbro"));
    dialog->setCancelButton(nullptr); // an opening cannot be stopped halfway
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumWidth(420);
    return dialog;
}
} // namespace

OpeningProgress::OpeningProgress(QWidget* parent)
    : QObject(parent)
    , m_parent(parent)
{
    cal::SetOpenProgress([this](const QString& location, qint64 done, qint64 total) { Calendar(location, done, total); });
}

OpeningProgress::~OpeningProgress()
{
    cal::SetOpenProgress({});
    delete m_dialog.data();
}

QProgressDialog* OpeningProgress::Dialog() const
{
    return m_dialog.data();
}

void OpeningProgress::Calendar(const QString& location, qint64 done, qint64 total)
{
    emit Reported(done, total);
    if (gbAuto || total <= 0)
        return;
    const QString label = SpråkText("R6200", "Öppnar kalendern %1 ...").arg(location) + QLatin1Char('\n') +
                          SpråkText("R6201", "%1 av %2 filer lästa").arg(done).arg(total);
    // The scale counts in thousands when the files do not fit an int.
    const int scale = total > 1000000000 ? 1000 : 1;
    if (done == 0 || !m_dialog) {
        if (!m_dialog)
            m_dialog = NewDialog(m_parent, label);
        m_dialog->reset();
        m_dialog->setMinimumDuration(kMinimumMs);
        m_dialog->setRange(0, int(total / scale));
    }
    m_dialog->setLabelText(label);
    // A window-modal dialog lets the window draw itself here (and takes no clicks meanwhile).
    m_dialog->setValue(int(done / scale));
    if (done >= total) {
        m_dialog->hide();
        QApplication::processEvents();
    }
}

OpeningProgress::Database::Database(QWidget* parent, const QString& path)
{
    if (gbAuto || !booking::DBFunk::ÄrServerdatabas(path))
        return;
    const QUrl url(path);
    const QString shown = url.isValid() ? url.toDisplayString(QUrl::RemovePassword) : path;
    m_dialog = NewDialog(parent, SpråkText("R6202", "Öppnar databasen %1 ...").arg(shown));
    m_dialog->setMinimumDuration(0);
    m_dialog->setValue(0);
    m_dialog->show();
    QApplication::processEvents();
}

OpeningProgress::Database::~Database()
{
    delete m_dialog.data();
}
