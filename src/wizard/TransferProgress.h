#pragma once
// The progress of a transfer: a dialog with Stop for a person at the wizard, a line on stderr for
// an unattended run on a terminal, and nothing under a scheduler (stderr not a terminal).
#include <QPointer>
#include <QString>
#include <functional>

class QProgressDialog;
class QWidget;

class TransferProgress {
public:
    // A run of this many items or fewer is over before a dialog could be read.
    static constexpr int kFewItems = 5;

    // total: the items the run will handle; attended: whether a person watches the wizard.
    TransferProgress(QWidget* parent, int total, bool attended);
    ~TransferProgress();
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // Says which item comes next (done items before it) and lets a Stop click in. False when the
    // person pressed Stop: the run ends here, between two items. The item's name is made only
    // when something shows it.
    [[nodiscard]] bool Next(int done, const std::function<QString()>& item);
    bool Stopped() const { return m_stopped; }
    int Total() const { return m_total; }

private:
    QPointer<QProgressDialog> m_dialog;
    QString m_stepText; // "%1 of %2: %3"
    QString m_working;
    int m_total = 0;
    bool m_terminal = false;
    bool m_stopped = false;
};
