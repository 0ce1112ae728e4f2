#include "wizard/TransferProgress.h"

#include "settings/CTexter.h"

#include <QApplication>
#include <QProgressDialog>
#include <cstdio>
#include <unistd.h>

TransferProgress::TransferProgress(QWidget* parent, int total, bool attended) : m_total(total)
{
    if (total <= kFewItems)
        return;
    m_stepText = SpråkText("R6104");
    if (!attended) {
        m_terminal = isatty(fileno(stderr)) == 1;
        return;
    }
    m_working = SpråkText("R6106");
    m_dialog = new QProgressDialog(m_working, SpråkText("R6103"), 0, total, parent);
    m_dialog->setObjectName(QStringLiteral("dlgProgress"));
    m_dialog->setWindowTitle(SpråkText("R2307"));
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumWidth(420);
    m_dialog->setValue(0);
}

TransferProgress::~TransferProgress()
{
    if (m_terminal)
        std::fprintf(stderr, "\n");
    delete m_dialog.data();
}

bool TransferProgress::Next(int done, const std::function<QString()>& item)
{
    if (m_stopped)
        return false;
    if (!m_terminal && !m_dialog)
        return true;
    const QString text = m_stepText.arg(done + 1).arg(m_total).arg(item());
    if (m_terminal) {
        // One line, rewritten in place.
        std::fprintf(stderr, "\r\033[K%s", text.left(120).toLocal8Bit().constData());
        std::fflush(stderr);
    }
    if (!m_dialog)
        return true;
    m_dialog->setLabelText(m_working + QLatin1Char('\n') + text);
    m_dialog->setValue(done);
    QApplication::processEvents();
    m_stopped = m_dialog->wasCanceled();
    return !m_stopped;
}
