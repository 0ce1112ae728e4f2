#include "calendar/CalDavHttp.h"

#include "calendar/Words.h"
#include "platform/ErrObject.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QTimer>

#include <algorithm>

namespace cal::detail::dav {

namespace {
bool TransientStatus(int status)
{
    return status == 408 || status == 429 || status == 502 || status == 503 || status == 504;
}

bool TransientNetworkError(QNetworkReply::NetworkError e)
{
    switch (e) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

QString StatusText(int status)
{
    static const QHash<int, const char*> texts = {
        {400, "Bad Request"},           {405, "Method Not Allowed"}, {409, "Conflict"},
        {412, "Precondition Failed"},   {413, "Payload Too Large"},  {415, "Unsupported Media Type"},
        {500, "Internal Server Error"}, {501, "Not Implemented"},    {502, "Bad Gateway"},
        {503, "Service Unavailable"},   {504, "Gateway Timeout"},    {507, "Insufficient Storage"},
    };
    return QString::fromLatin1(texts.value(status, ""));
}

bool IsTlsError(QNetworkReply::NetworkError e)
{
    return e == QNetworkReply::SslHandshakeFailedError || e == QNetworkReply::UnknownNetworkError;
}
} // namespace

struct Client::Slot {
    Request request;
    QUrl url; // after redirects
    Done done;
    int attempt = 0;
    int redirects = 0;
    bool transient = false; // the last failure may pass
    bool unreachable = false;
};

Client::Client(ClientOptions options)
    : m_options(std::move(options)), m_manager(std::make_unique<QNetworkAccessManager>())
{
    QObject::connect(
        m_manager.get(), &QNetworkAccessManager::authenticationRequired, m_manager.get(),
        [this](QNetworkReply* reply, QAuthenticator* authenticator) { OnAuthentication(reply, authenticator); });
}

Client::~Client() = default;

QString Client::ServerOf(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toString(QUrl::StripTrailingSlash);
}

void Client::OnAuthentication(QNetworkReply* reply, QAuthenticator* authenticator)
{
    // Offered once per request: a second question means the server refused them, and the
    // request then ends with 401.
    if (reply->property("almbroCredentialsOffered").toBool() || m_options.user.isEmpty() ||
        !m_credentialFault.isEmpty())
        return;
    if (!m_passwordRead) {
        m_passwordRead = true;
        try {
            m_password = m_options.password ? m_options.password() : QString();
        } catch (...) {
            m_credentialFault = vb::CurrentError().Description();
        }
        if (!m_credentialFault.isEmpty())
            return;
    }
    reply->setProperty("almbroCredentialsOffered", true);
    authenticator->setUser(m_options.user);
    authenticator->setPassword(m_password);
}

Reply Client::Send(const Request& request)
{
    return SendAll({request}).value(0);
}

QList<Reply> Client::SendAll(const QList<Request>& requests)
{
    QList<Reply> replies(requests.size());
    qsizetype left = requests.size();
    for (qsizetype i = 0; i < requests.size(); ++i)
        Post(requests[i], [&replies, &left, i](const Reply& reply) {
            replies[i] = reply;
            --left;
        });
    Wait([&left] { return left == 0; });
    return replies;
}

void Client::Post(const Request& request, Done done)
{
    if (!QCoreApplication::instance())
        qFatal("The CalDAV store needs a QCoreApplication");
    auto slot = std::make_shared<Slot>();
    slot->request = request;
    slot->url = request.url;
    slot->done = std::move(done);
    ++m_pending;
    m_queue.push_back(slot);
    Pump();
}

void Client::Wait(const std::function<bool()>& until)
{
    while (!until() && m_pending > 0) {
        QEventLoop loop;
        m_loops.push_back(&loop);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_loops.pop_back();
    }
}

void Client::Pump()
{
    while (!m_queue.empty() && m_running < m_options.inFlight) {
        std::shared_ptr<Slot> slot = m_queue.front();
        m_queue.pop_front();
        Start(slot);
    }
}

void Client::Complete(const std::shared_ptr<Slot>& slot, const Reply& reply)
{
    --m_pending;
    const Done done = std::move(slot->done);
    if (done)
        done(reply);
    // Every Wait looks again at what it waits for: an outer one may have been answered while
    // an inner one ran.
    for (QEventLoop* loop : m_loops)
        loop->quit();
}

void Client::Finish(const std::shared_ptr<Slot>& slot, QNetworkReply* reply, bool timedOut)
{
    --m_running;
    --m_onWire;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString tls = reply->property("almbroTlsErrors").toString();
    Reply result;
    result.status = timedOut ? 0 : status;
    if (reply->isOpen())
        result.body = reply->readAll();
    result.etag = reply->rawHeader("ETag");
    slot->transient = false;
    slot->unreachable = false;
    if (!m_credentialFault.isEmpty() && status == 401) {
        result.status = 0;
        result.fault = m_credentialFault;
    } else if (timedOut) {
        result.fault =
            Words(Message::ServerTimeout).arg(ServerOf(slot->url)).arg(m_options.timeoutMs / 1000.0, 0, 'g', 3);
        slot->transient = slot->unreachable = true;
    } else if (status == 0 && (!tls.isEmpty() || IsTlsError(error)) &&
               slot->url.scheme() == QLatin1String("https") && error != QNetworkReply::ConnectionRefusedError) {
        result.fault = Words(Message::ServerTls).arg(ServerOf(slot->url), tls.isEmpty() ? reply->errorString() : tls);
    } else if (status == 0) {
        result.fault = Words(Message::ServerUnreachable).arg(ServerOf(slot->url), reply->errorString());
        slot->transient = slot->unreachable = TransientNetworkError(error);
    } else if (status >= 300 && status < 400 && status != 304 && slot->redirects < 5) {
        const QUrl target = slot->url.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        // Never from https down to http, and only with a place to go.
        if (target.isValid() && !target.host().isEmpty() &&
            !(slot->url.scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https"))) {
            ++slot->redirects;
            slot->url = target;
            reply->deleteLater();
            Start(slot);
            Pump();
            return;
        }
    } else if (TransientStatus(status)) {
        slot->transient = true;
    }
    reply->deleteLater();
    if (slot->transient && slot->attempt < m_options.attempts && m_down.isEmpty()) {
        ++m_running; // the place is kept while it waits
        const int pause = m_options.backoffMs << (slot->attempt - 1);
        QTimer::singleShot(pause, m_manager.get(), [this, slot] {
            --m_running;
            Start(slot);
            Pump();
        });
        return;
    }
    if (slot->unreachable && m_down.isEmpty())
        m_down = result.fault;
    Complete(slot, result);
    Pump();
}

void Client::Start(const std::shared_ptr<Slot>& slot)
{
    if (!m_down.isEmpty() || !m_credentialFault.isEmpty()) {
        // Waiting again for a server already found unreachable, or asking for a password that
        // cannot be had, would only make a batch of failures slow.
        Reply reply;
        reply.fault = m_credentialFault.isEmpty() ? m_down : m_credentialFault;
        Complete(slot, reply);
        return;
    }
    ++m_running;
    ++m_onWire;
    m_mostAtOnce = std::max(m_mostAtOnce, m_onWire);
    ++slot->attempt;
    ++m_requests;
    QNetworkRequest request(slot->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("User-Agent", "Almbro");
    if (!slot->request.contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, slot->request.contentType);
    for (const auto& [name, value] : slot->request.headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_manager->sendCustomRequest(request, slot->request.verb, slot->request.body);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    auto timedOut = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    // A slow answer that still moves is not a dead server.
    QObject::connect(reply, &QNetworkReply::downloadProgress, timer, [timer] { timer->start(); });
    QObject::connect(reply, &QNetworkReply::uploadProgress, timer, [timer] { timer->start(); });
    timer->start(m_options.timeoutMs);
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [this, reply](const QList<QSslError>& errors) {
        const QSslCertificate peer = reply->sslConfiguration().peerCertificate();
        if (!peer.isNull() && m_options.trusted.contains(peer)) {
            reply->ignoreSslErrors(errors);
            return;
        }
        QStringList texts;
        for (const QSslError& e : errors)
            texts << e.errorString();
        reply->setProperty("almbroTlsErrors", texts.join(QStringLiteral("; ")));
    });
    QObject::connect(reply, &QNetworkReply::finished, m_manager.get(),
                     [this, slot, reply, timedOut] { Finish(slot, reply, *timedOut); });
}

QString Client::Describe(const Reply& reply, const QUrl& url) const
{
    const QString server = ServerOf(url);
    if (!reply.fault.isEmpty())
        return reply.fault;
    const QString path = url.path(QUrl::FullyDecoded);
    switch (reply.status) {
    case 401:
        return m_options.user.isEmpty() ? Words(Message::ServerNoUser).arg(server)
                                        : Words(Message::ServerUnauthorized).arg(server, m_options.user);
    case 403:
        return Words(Message::ServerForbidden).arg(server, path);
    case 404:
        return Words(Message::ServerNotFound).arg(server, path);
    default:
        break;
    }
    if (reply.status >= 500)
        return Words(Message::ServerFailed).arg(server).arg(reply.status).arg(StatusText(reply.status));
    return Words(Message::ServerRefused).arg(server, path).arg(reply.status).arg(StatusText(reply.status));
}

} // namespace cal::detail::dav
