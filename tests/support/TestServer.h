#pragma once
// What every server a test starts shares: a free port on 127.0.0.1, a self-signed certificate
// for it when it should serve https, its output in a log in the test's folder, a start that
// waits until the port answers, and a stop that does not leave it behind.
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <utility>

namespace testenv {

class TestServer {
public:
    explicit TestServer(QString folder) : m_folder(std::move(folder)) { QDir().mkpath(m_folder); }
    virtual ~TestServer() { Stop(); }
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;
    TestServer(TestServer&&) = delete;
    TestServer& operator=(TestServer&&) = delete;

    [[nodiscard]] quint16 Port() const { return m_port; }

    [[nodiscard]] QString Root() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/")
            .arg(m_certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
            .arg(m_port);
    }

    void Stop()
    {
        if (!m_process)
            return;
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
        m_process.reset();
    }

protected:
    // Makes a self-signed certificate for 127.0.0.1 (openssl) named <name>.pem and <name>.key in
    // the folder, served from the next start on; the PEM file's path.
    QString MakeCertificate(const QString& name)
    {
        m_certificate = m_folder + QLatin1Char('/') + name + QStringLiteral(".pem");
        m_key = m_folder + QLatin1Char('/') + name + QStringLiteral(".key");
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                       QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                       QStringLiteral("-keyout"), m_key, QStringLiteral("-out"), m_certificate});
        openssl.waitForFinished(60000);
        return m_certificate;
    }

    // A free port, kept across restarts.
    quint16 PickPort()
    {
        if (m_port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
        }
        return m_port;
    }

    // Starts the program with its output appended to <log> in the folder and waits until the
    // port answers; false when it does not start or dies first.
    bool Launch(const QString& program, const QStringList& args, const QString& log)
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_folder + QLatin1Char('/') + log, QIODevice::Append);
        m_process->start(program, args);
        if (!m_process->waitForStarted(10000))
            return false;
        for (int i = 0; i < 200; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return true;
            if (m_process->state() != QProcess::Running)
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    // A file of the folder written whole; false when it cannot be.
    [[nodiscard]] bool WriteFile(const QString& name, const QByteArray& contents) const
    {
        return testenv::WriteFile(m_folder + QLatin1Char('/') + name, contents);
    }

    // A file of the folder as text; empty when there is none.
    [[nodiscard]] QString ReadFile(const QString& name) const
    {
        return QString::fromUtf8(ReadBytes(m_folder + QLatin1Char('/') + name));
    }

    [[nodiscard]] const QString& Folder() const { return m_folder; }
    // The certificate and key MakeCertificate made; empty: plain http.
    [[nodiscard]] const QString& Certificate() const { return m_certificate; }
    [[nodiscard]] const QString& Key() const { return m_key; }

private:
    QString m_folder;
    QString m_certificate;
    QString m_key;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};

} // namespace testenv
