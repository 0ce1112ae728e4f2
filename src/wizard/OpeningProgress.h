#pragma once
// Opening a calendar or a database that takes more than a moment: a dialog that says what is
// being opened (the calendar's location, the database's path or address) and, for a calendar,
// how many of its files have been read. Nothing for an unattended run.
#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

class OpeningProgress : public QObject {
    Q_OBJECT
public:
    // A dialog shows itself when an opening has taken this long.
    static constexpr int kMinimumMs = 500;

    // Shows every calendar opening that reads files while it exists (one for the program).
    explicit OpeningProgress(QWidget* parent);
    ~OpeningProgress() override;
    Q_DISABLE_COPY_MOVE(OpeningProgress)

    // The calendar library's report: files read of those to read.
    void Calendar(const QString& location, qint64 done, qint64 total);
    // The dialog of the latest opening that had files to read (hidden once it was over).
    QProgressDialog* Dialog() const;

signals:
    // Each report heard, whether or not a dialog shows it.
    void Reported(qint64 done, qint64 total);

public:
    // Shown while a database is being opened: a server's address (without its password) at
    // once, since connecting can take a while; a database file opens in a moment and shows
    // nothing.
    class Database {
    public:
        Database(QWidget* parent, const QString& path);
        ~Database();
        Database(const Database&) = delete;
        Database& operator=(const Database&) = delete;

    private:
        QPointer<QProgressDialog> m_dialog;
    };

private:
    QWidget* m_parent = nullptr;
    QPointer<QProgressDialog> m_dialog;
};
