#pragma once
// HTTP for the CalDAV store: QNetworkAccessManager driven to completion from the calling thread,
// with WebDAV verbs, Basic and Digest credentials, the system's certificate authorities plus a
// certificate the user names, timeouts, retries with backoff for transient faults, and several
// requests in flight for a batch. Private to the calendar library.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;
class QAuthenticator;

namespace cal::detail::dav {

struct Request {
    QByteArray verb; // GET, PUT, DELETE, PROPFIND, REPORT
    QUrl url;
    QByteArray body;
    QByteArray contentType;
    QList<QPair<QByteArray, QByteArray>> headers; // Depth, If-Match, If-None-Match, ...
};

struct Reply {
    int status = 0; // the HTTP status; 0 when no answer came
    QByteArray body;
    QByteArray etag; // the ETag header, quotes kept
    QString fault;   // why no usable answer came (unreachable, TLS, timeout, credentials)
    bool ok() const { return status >= 200 && status < 300; }
};

struct ClientOptions {
    QString user;                      // empty: no credentials offered
    std::function<QString()> password; // asked once, when a server first asks for credentials
    QList<QSslCertificate> trusted;    // a self-signed server's certificate the user named
    int timeoutMs = 30000;             // per request
    int attempts = 3;                  // for transient faults
    int backoffMs = 300;               // doubled after each failed attempt
    int inFlight = 4;                  // requests at once in a batch
};

class Client {
public:
    using Done = std::function<void(const Reply&)>;

    explicit Client(ClientOptions options);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Sends one request and waits for its answer, following redirects. A fault that may pass
    // (no connection, a timeout, 502, 503, 504) is tried again after a pause; once a server
    // has been found unreachable, later requests fail at once rather than waiting again.
    Reply Send(const Request& request);
    // Sends every request, several at a time; the answers in the order of the requests.
    QList<Reply> SendAll(const QList<Request>& requests);

    // Queues a request and returns; at most inFlight go at once, over kept-alive connections.
    // done gets the final answer (after redirects and retries, as Send) while Wait runs, or at
    // once when the server is already known to be unreachable. done may post more requests,
    // but must not wait.
    void Post(const Request& request, Done done);
    // Runs the network until until() holds or nothing is left to answer.
    void Wait(const std::function<bool()>& until);
    // Requests posted and not yet answered.
    int Pending() const { return m_pending; }
    int InFlight() const { return m_options.inFlight; }

    // Requests that went on the wire (retries included), for benchmarks and tests.
    qint64 RequestCount() const { return m_requests; }
    // The most requests that were on the wire at one time.
    int MostAtOnce() const { return m_mostAtOnce; }

    // A sentence for a failed answer, naming the server and the cause.
    QString Describe(const Reply& reply, const QUrl& url) const;
    // "https://host:port" of a URL, without user name or path: what messages name.
    static QString ServerOf(const QUrl& url);

private:
    struct Slot;
    void OnAuthentication(QNetworkReply* reply, QAuthenticator* authenticator);
    void Pump();
    void Start(const std::shared_ptr<Slot>& slot);
    void Finish(const std::shared_ptr<Slot>& slot, QNetworkReply* reply, bool timedOut);
    void Complete(const std::shared_ptr<Slot>& slot, const Reply& reply);

    ClientOptions m_options;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QString m_password;
    bool m_passwordRead = false;
    QString m_credentialFault; // the password could not be had: every answer carries this
    QString m_down;            // the fault that showed the server unreachable
    qint64 m_requests = 0;
    std::deque<std::shared_ptr<Slot>> m_queue; // posted, not yet started
    int m_running = 0;                         // on the wire, or waiting to be tried again
    int m_onWire = 0;
    int m_mostAtOnce = 0;
    int m_pending = 0;
    std::vector<QEventLoop*> m_loops; // the Waits running, innermost last
};

} // namespace cal::detail::dav
