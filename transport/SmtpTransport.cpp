#include "transport/SmtpTransport.h"

#include "transport/SmtpTls.h"

#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <curl/curl.h>

#include <cstring>
#include <memory>

namespace {

struct CurlEasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlMultiDeleter
{
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct CurlSlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Keeps an easy handle attached to a multi handle, and detaches it before either is freed.
class MultiAttachment
{
public:
    MultiAttachment(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy)
    {
        m_attached = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~MultiAttachment()
    {
        if (m_attached)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    MultiAttachment(const MultiAttachment&) = delete;
    MultiAttachment& operator=(const MultiAttachment&) = delete;
    bool attached() const { return m_attached; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_attached = false;
};

void initCurlOnce()
{
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialized;
}

// What the debug callback watches: the dialogue's commands (only their verbs; the AUTH exchange
// carries the credentials and is never kept) and the server's replies.
struct Dialogue
{
    const SmtpTransport::StageCallback* stage = nullptr;
    bool withAccount = false;
    int reported = -1; // highest SmtpStage reported so far
    bool startTlsSent = false;
    bool authSent = false;
    // Whether the latest EHLO reply offered STARTTLS; after STARTTLS that is the one inside TLS.
    bool inHelloReply = false;
    bool helloOffersStartTls = false;
    // libcurl goes on without logging in when the server offers no AUTH; we stop it instead.
    bool loginNotOffered = false;
    QString lastRefusal; // the last 4xx or 5xx reply line

    void report(SmtpStage next)
    {
        if (int(next) <= reported)
            return;
        reported = int(next);
        if (*stage)
            (*stage)(next);
    }
};

void noteHelloLine(Dialogue& dialogue, const QString& line)
{
    if (line.size() < 4)
        return;
    if (line.startsWith(QStringLiteral("250")) && line.mid(4).trimmed().toUpper() == QStringLiteral("STARTTLS"))
        dialogue.helloOffersStartTls = true;
    if (line.at(3) == u' ')
        dialogue.inHelloReply = false;
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* userData)
{
    auto& dialogue = *static_cast<Dialogue*>(userData);
    if (type == CURLINFO_HEADER_OUT) {
        const QByteArray verb = QByteArray(data, qsizetype(std::min<size_t>(size, 10))).toUpper();
        if (verb.startsWith("EHLO ") || verb.startsWith("HELO ")) {
            dialogue.inHelloReply = true;
            dialogue.helloOffersStartTls = false;
        } else if (verb.startsWith("STARTTLS")) {
            dialogue.startTlsSent = true;
        } else if (verb.startsWith("AUTH ")) {
            dialogue.authSent = true;
            dialogue.report(SmtpStage::Authenticating);
        } else if (verb.startsWith("MAIL FROM:")) {
            dialogue.report(SmtpStage::Sending);
        }
    } else if (type == CURLINFO_HEADER_IN) {
        const QList<QByteArray> lines = QByteArray(data, qsizetype(size)).split('\n');
        for (const QByteArray& raw : lines) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.isEmpty())
                continue;
            if (line.startsWith(QLatin1Char('4')) || line.startsWith(QLatin1Char('5')))
                dialogue.lastRefusal = line;
            if (dialogue.inHelloReply)
                noteHelloLine(dialogue, line);
        }
    }
    return 0;
}

// Runs after EHLO, STARTTLS and the login, before MAIL FROM: a mail with an account that did not
// log in would go out unauthenticated, to be refused as relaying or, worse, accepted.
int onPrerequest(void* userData, char*, char*, int, int)
{
    auto& dialogue = *static_cast<Dialogue*>(userData);
    if (dialogue.withAccount && !dialogue.authSent) {
        dialogue.loginNotOffered = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

QString loginNotOfferedText(const SmtpServer& server, const Dialogue& dialogue)
{
    const QString where = QStringLiteral("%1 (port %2)").arg(server.host).arg(server.port);
    if (dialogue.helloOffersStartTls && server.security == SmtpSecurity::None)
        return QStringLiteral("The mail server %1 offers the login (AUTH) only after STARTTLS, so nothing was sent. "
                              "Set [Mail] Security=starttls to log in as \"%2\" over TLS.")
            .arg(where, server.account);
    return QStringLiteral("The mail server %1 offers no login (AUTH), so nothing was sent as [Mail] Account \"%2\". "
                          "Remove Account if the server takes mail without a login; otherwise check Server and "
                          "Port.")
        .arg(where, server.account);
}

struct Upload
{
    const QByteArray* data = nullptr;
    qsizetype offset = 0;
};

size_t onRead(char* buffer, size_t size, size_t count, void* userData)
{
    auto& upload = *static_cast<Upload*>(userData);
    const qsizetype room = qsizetype(size * count);
    const qsizetype length = std::min(room, upload.data->size() - upload.offset);
    std::memcpy(buffer, upload.data->constData() + upload.offset, size_t(length));
    upload.offset += length;
    return size_t(length);
}

QByteArray serverUrl(const SmtpServer& server)
{
    QUrl url;
    url.setScheme(SmtpScheme(server.security));
    url.setHost(server.host);
    url.setPort(server.port);
    // The path names us in EHLO; a host name that is not a plain name would make a bad command.
    const QString self = QSysInfo::machineHostName();
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.-]*$"));
    if (plainName.match(self).hasMatch())
        url.setPath(QLatin1Char('/') + self);
    return url.toEncoded();
}

QString serverProblem(const SmtpServer& server)
{
    if (server.host.trimmed().isEmpty())
        return QStringLiteral("No mail server is set; enter the mail server in the mail settings.");
    if (!ControlCharacterProblem(server.host).isEmpty() || !ControlCharacterProblem(server.account).isEmpty() ||
        server.host.contains(QLatin1Char('/')) || server.host.contains(QLatin1Char('@')) ||
        server.host.contains(QLatin1Char(' ')))
        return QStringLiteral("The mail server \"%1\" or its account is not valid; correct them in the mail settings.")
            .arg(server.host);
    if (server.port < 1 || server.port > 65535)
        return QStringLiteral("The mail server's port %1 is not valid; enter a port from 1 to 65535 in the mail "
                              "settings.")
            .arg(server.port);
    if (server.password.bytes().contains('\r') || server.password.bytes().contains('\n'))
        return QStringLiteral("The mail account's password contains a line break; set it again in the mail "
                              "settings.");
    if (server.security != SmtpSecurity::None)
        return CaFileProblem(server.caFile);
    return QString();
}

// libcurl leaves its error buffer empty for some failures (a refused login among them) and its
// generic text names no reason; the server's own reply does.
QString readableError(CURLcode code, const char* errorBuffer, const QString& lastRefusal)
{
    QString message = QString::fromUtf8(errorBuffer).trimmed();
    if (message.isEmpty())
        message = QString::fromUtf8(curl_easy_strerror(code));
    if (!lastRefusal.isEmpty() && !message.contains(lastRefusal))
        message += QStringLiteral(" (the server replied \"%1\")").arg(lastRefusal);
    switch (code) {
    case CURLE_LOGIN_DENIED:
        message += QStringLiteral(". Check the mail account and its password.");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        message += QStringLiteral(". The mail server did not answer in time; check its address and port, or try "
                                  "again later.");
        break;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
        message += QStringLiteral(". Check the mail server's address and port.");
        break;
    default:
        break;
    }
    return message;
}

} // namespace

SmtpOutcome SmtpTransport::Send(const SmtpServer& server, const SmtpMessage& message, const StageCallback& stage,
                                const PumpCallback& pump)
{
    if (const QString problem = ValidateSmtpMessage(message); !problem.isEmpty())
        return {false, problem};
    if (const QString problem = serverProblem(server); !problem.isEmpty())
        return {false, problem};

    const MailAddress sender = *ParseMailAddress(message.sender);
    const QByteArray mail = ComposeSmtpMessage(message, QDateTime::currentDateTime(), NewMessageId(sender.address));

    initCurlOnce();
    CurlMulti multi(curl_multi_init());
    CurlEasy easy(curl_easy_init());
    if (!multi || !easy)
        return {false, QStringLiteral("The mail library could not start (out of memory?); try again.")};

    CurlSlist recipients;
    for (const QString& recipient : message.recipients) {
        const QByteArray envelope = '<' + ParseMailAddress(recipient)->address.toUtf8() + '>';
        curl_slist* appended = curl_slist_append(recipients.get(), envelope.constData());
        if (!appended)
            return {false, QStringLiteral("The mail library ran out of memory; try again.")};
        (void)recipients.release();
        recipients.reset(appended);
    }

    Dialogue dialogue;
    dialogue.stage = &stage;
    dialogue.withAccount = !server.account.isEmpty();
    Upload upload{&mail, 0};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = serverUrl(server);
    const QByteArray from = '<' + sender.address.toUtf8() + '>';
    const QByteArray account = server.account.toUtf8();

    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    const QByteArray scheme = SmtpScheme(server.security).toLatin1();
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, scheme.constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(server.connectTimeoutMs));
    // Each reply must come within the read time-out; a stalled upload is caught by the speed check.
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long((server.readTimeoutMs + 999) / 1000));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long((server.readTimeoutMs + 999) / 1000));
    // One connection per mail, closed (with QUIT) as soon as the mail is done or has failed.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    ApplyTlsOptions(h, server);
    if (!server.account.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, account.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, server.password.c_str());
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &onRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(mail.size()));
    // The debug hook only runs in verbose mode; with the hook set nothing is printed.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &onDebug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &dialogue);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &onPrerequest);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &dialogue);

    dialogue.report(SmtpStage::Connecting);

    CURLcode result = CURLE_OK;
    {
        MultiAttachment attachment(multi.get(), h);
        if (!attachment.attached())
            return {false, QStringLiteral("The mail library could not start the transfer; try again.")};
        constexpr int pollMs = 20;
        int running = 1;
        for (;;) {
            const CURLMcode step = curl_multi_perform(multi.get(), &running);
            if (step != CURLM_OK)
                return {false, QString::fromUtf8(curl_multi_strerror(step))};
            if (running == 0)
                break;
            if (curl_multi_poll(multi.get(), nullptr, 0, pollMs, nullptr) != CURLM_OK)
                return {false, QStringLiteral("Waiting for the mail server failed; try again.")};
            if (pump)
                pump();
        }
        int left = 0;
        while (CURLMsg* done = curl_multi_info_read(multi.get(), &left))
            if (done->msg == CURLMSG_DONE && done->easy_handle == h)
                result = done->data.result;
    }
    if (result == CURLE_OK)
        return {true, QString()};
    if (dialogue.loginNotOffered)
        return {false, loginNotOfferedText(server, dialogue)};
    QString libraryText = QString::fromUtf8(errorBuffer).trimmed();
    if (libraryText.isEmpty())
        libraryText = QString::fromUtf8(curl_easy_strerror(result));
    if (QString tls = TlsFailureText(result, libraryText, server, dialogue.startTlsSent); !tls.isEmpty())
        return {false, tls};
    return {false, readableError(result, errorBuffer, dialogue.lastRefusal)};
}
