#include "web/WebServer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace velkor {

namespace fs = std::filesystem;

// Wakes the server's thread when the backlog changes; the server leaves it before it
// goes, so that a producer never posts to an object that is gone.
struct WebServer::Wake {
    std::mutex mutex;
    QObject* target = nullptr;
    bool stopped = false;        // set by stop(): a serve() still queued wakes nobody
    std::function<void()> flush; // within the batch time
    std::function<void()> now;   // at once
    std::atomic<bool> queued{false};
    std::atomic<uint64_t> changes{0}; // since the batch began
    void operator()()
    {
        // A burst (a recording decoded as fast as it goes) is sent a block at a time,
        // not left to pile up for the batch time.
        const bool full = changes.fetch_add(1) + 1 == kBlockEvents;
        if (queued.exchange(true) && !full)
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        if (target)
            QMetaObject::invokeMethod(target, full ? now : flush, Qt::QueuedConnection);
    }
};

namespace {

// The listening socket: each new connection is watched before the HTTP server reads it.
class WatchedTcpServer : public QTcpServer {
public:
    std::function<bool(QTcpSocket*)> admit;

protected:
    void incomingConnection(qintptr fd) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd) || !admit(socket)) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        addPendingConnection(socket);
    }
};

QByteArray statusText(int code)
{
    switch (code) {
    case 200:
        return "200 OK";
    case 206:
        return "206 Partial Content";
    case 303:
        return "303 See Other";
    case 400:
        return "400 Bad Request";
    case 401:
        return "401 Unauthorized";
    case 403:
        return "403 Forbidden";
    case 404:
        return "404 Not Found";
    case 405:
        return "405 Method Not Allowed";
    case 416:
        return "416 Range Not Satisfiable";
    }
    return QByteArray::number(code) + " Error";
}

QByteArray audioType(const fs::path& file)
{
    const std::string ext = file.extension().string();
    if (ext == ".flac")
        return "audio/flac";
    if (ext == ".wav")
        return "audio/wav";
    if (ext == ".opus" || ext == ".ogg")
        return "audio/ogg";
    if (ext == ".json")
        return "application/json";
    return "application/octet-stream";
}

bool sameText(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    // Every byte is looked at, so that the time says nothing of where they differ.
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::optional<uint32_t> addressPart(const QString& text)
{
    if (text.isEmpty())
        return 0u;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value == 0 || value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

// The one range of "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX" within a file
// of size bytes, as first and last byte; nullopt when it is none of those or lies
// outside the file. Several ranges are not offered: Accept-Ranges says bytes only.
std::optional<std::pair<qint64, qint64>> byteRange(const QByteArray& header, qint64 size)
{
    if (!header.startsWith("bytes=") || header.contains(','))
        return std::nullopt;
    const QByteArray asked = header.mid(6).trimmed();
    const qsizetype dash = asked.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    bool okFirst = true;
    bool okLast = true;
    const QByteArray a = asked.left(dash).trimmed();
    const QByteArray b = asked.mid(dash + 1).trimmed();
    qint64 first = a.isEmpty() ? -1 : a.toLongLong(&okFirst);
    qint64 last = b.isEmpty() ? size - 1 : b.toLongLong(&okLast);
    if (!okFirst || !okLast || (a.isEmpty() && b.isEmpty()) || last < 0)
        return std::nullopt;
    if (a.isEmpty()) { // the last "last" bytes
        first = std::max<qint64>(0, size - last);
        last = size - 1;
    }
    last = std::min(last, size - 1);
    if (first > last)
        return std::nullopt;
    return std::pair{first, last};
}

} // namespace

class WebServer::Handler : public QAbstractHttpServer {
public:
    // Serves what tcp, listening with its accepting paused, takes from now on.
    Handler(EventBacklog& backlog, const web_options_s& options, const web_controls_s& controls,
            std::unique_ptr<WatchedTcpServer> tcp);
    ~Handler() override
    {
        if (m_deflateReady)
            deflateEnd(&m_deflate);
    }
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;
    void shutdown();
    void flush();
    void schedule(int ms = kBatchMs);
    // Told as each batch begins (the producers may wake the thread again from then).
    std::function<void()> batchStarts;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest&, QTcpSocket* socket) override { reply(socket, 404, "not found\n"); }

private:
    struct Connection {
        // Null once the socket is gone, even where the library has cut our signals.
        QPointer<QTcpSocket> socket;
        qint64 lastActive = 0;
        bool streaming = false;
        uint64_t next = 0;             // the last event sent to a live client
        uint64_t stateVersion = ~0ull; // the state last sent
        // A live client that asked for gzip: the CRC and length of what it was sent,
        // for the gzip trailer at the end of the run.
        bool gzip = false;
        uLong crc = 0;
        uint32_t size = 0;
        std::shared_ptr<QFile> file; // a recording being sent, piece by piece
        qint64 fileLeft = 0;         // and how much of it is still to go
    };

    bool admit(QTcpSocket* socket);
    void sweep();
    void drop(QTcpSocket* socket);
    void dropLater(QTcpSocket* socket);
    void reply(QTcpSocket* socket, int code, const QByteArray& body, const QByteArray& type = "text/plain",
               const QByteArray& extra = {});
    bool authorised(const QHttpServerRequest& request) const;
    void route(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path);
    void login(const QHttpServerRequest& request, QTcpSocket* socket);
    void control(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path);
    void events(const QHttpServerRequest& request, QTcpSocket* socket);
    void calls(QTcpSocket* socket);
    void stream(const QHttpServerRequest& request, QTcpSocket* socket);
    // Events go out in blocks of consecutive numbers (1-256, 257-512, ...), each made into
    // text once and kept while the backlog keeps its events: clients at any place send
    // the same bytes, shared, not copied.
    struct Block {
        uint64_t first = 0;        // its first event (later than the block's start when
                                   // the backlog had already let the earlier ones go)
        std::vector<qsizetype> at; // where each event's text begins
        QByteArray text;
        // The text from one place to its end as deflate blocks, made for the first gzip
        // client that needs them and shared with the others: the clients of a batch
        // are at one place, but for one just come.
        struct {
            qsizetype from = -1, to = -1;
            QByteArray bytes;
            uLong crc = 0;
        } packed;
        uint64_t last() const { return first + at.size() - 1; }
    };
    // The block that holds seq, as far as the events are there; null when none are.
    Block* block(uint64_t seq);
    void feed(QTcpSocket* socket, Connection& c);
    // Writes a live client's bytes: as they are, or gzip's deflate blocks.
    void send(QTcpSocket* socket, Connection& c, const QByteArray& text);
    void sendPacked(QTcpSocket* socket, Connection& c, const QByteArray& bytes, uLong crc, qsizetype size);
    // Deflate blocks that end on a byte and need nothing sent before them (each made
    // from a fresh start): any run of them is a deflate stream's middle.
    QByteArray pack(const char* data, qsizetype size);
    void recording(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path);
    // Hands the socket the next pieces of its recording, as far as its buffer takes them.
    void pump(QTcpSocket* socket, Connection& c);
    QByteArray page(bool login, const QByteArray& message = {}) const;

    EventBacklog& m_backlog;
    web_options_s m_options;
    web_controls_s m_controls;
    fs::path m_recordDir;
    WatchedTcpServer* m_tcp = nullptr;
    std::unordered_map<QTcpSocket*, Connection> m_connections;
    std::map<uint64_t, Block> m_blocks; // by index
    QElapsedTimer m_clock;
    QTimer m_sweep;
    QTimer m_batch;
    uint64_t m_batchEnd = 0; // the last event sent with this batch
    z_stream m_deflate{};
    bool m_deflateReady = false;
};

WebServer::Handler::Handler(EventBacklog& backlog, const web_options_s& options, const web_controls_s& controls,
                            std::unique_ptr<WatchedTcpServer> tcp)
    : m_backlog(backlog)
    , m_options(options)
    , m_controls(controls)
{
    std::error_code ec;
    if (!m_options.recordDir.empty())
        m_recordDir = fs::weakly_canonical(m_options.recordDir, ec);
    if (!m_recordDir.empty() && m_recordDir.filename().empty())
        m_recordDir = m_recordDir.parent_path();
    m_clock.start();
    m_sweep.setInterval(1000);
    m_batch.setSingleShot(true);
    QObject::connect(&m_batch, &QTimer::timeout, this, [this] {
        if (batchStarts)
            batchStarts();
        flush();
    });
    QObject::connect(&m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    m_tcp = tcp.release();
    m_tcp->admit = [this](QTcpSocket* socket) { return admit(socket); };
    bind(m_tcp); // the library's from now on
    m_tcp->resumeAccepting();
    m_sweep.start();
}

void WebServer::Handler::shutdown()
{
    m_sweep.stop();
    if (m_tcp)
        m_tcp->close();
    // Live clients get what is left, as far as their buffers take it.
    flush();
    std::vector<QTcpSocket*> sockets;
    for (const auto& [socket, c] : m_connections)
        if (c.socket)
            sockets.push_back(socket);
    for (QTcpSocket* socket : sockets) {
        // The page stops reconnecting: the run is over.
        if (const auto c = m_connections.find(socket);
            c != m_connections.end() && c->second.streaming && c->second.next == m_backlog.lastSeq()) {
            send(socket, c->second, "event: end\ndata: {}\n\n");
            if (c->second.gzip) {
                // The last, empty deflate block, then the CRC and the length.
                QByteArray end("\x03\x00", 2);
                for (const auto word : {static_cast<uint32_t>(c->second.crc), c->second.size})
                    for (int shift = 0; shift < 32; shift += 8)
                        end += static_cast<char>(word >> shift);
                socket->write(end);
            }
        }
        socket->flush();
        drop(socket);
    }
}

bool WebServer::Handler::admit(QTcpSocket* socket)
{
    if (m_connections.size() >= static_cast<size_t>(kMaxConnections))
        return false;
    // A new socket may have the address of one that went while the library had cut
    // our signals: nothing of that one's is kept.
    Connection& c = m_connections[socket] = Connection{};
    c.socket = socket;
    c.lastActive = m_clock.elapsed();
    // Before the HTTP server's own handler: a request that grows past the limit is
    // closed once this delivery is over (closing it here would pull the socket from
    // under the handler that runs next).
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const auto c = m_connections.find(socket);
        if (c == m_connections.end())
            return;
        c->second.lastActive = m_clock.elapsed();
        if (socket->bytesAvailable() > kMaxRequest || (c->second.streaming && socket->bytesAvailable() > 0))
            dropLater(socket);
    });
    QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        const auto c = m_connections.find(socket);
        if (c == m_connections.end())
            return;
        c->second.lastActive = m_clock.elapsed();
        if (c->second.file)
            pump(socket, c->second);
        // The rest with the next batch, made once for every client.
        if (c->second.streaming && c->second.next < m_backlog.lastSeq())
            schedule();
    });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.erase(socket); });
    return true;
}

void WebServer::Handler::drop(QTcpSocket* socket)
{
    m_connections.erase(socket);
    socket->abort();
    // The HTTP server deletes its sockets when they disconnect, unless it has let go of
    // one (a request it could not parse); twice is harmless.
    socket->deleteLater();
}

void WebServer::Handler::dropLater(QTcpSocket* socket)
{
    QPointer<QTcpSocket> guard(socket);
    QMetaObject::invokeMethod(
        this,
        [this, guard] {
            if (guard)
                drop(guard);
        },
        Qt::QueuedConnection);
}

void WebServer::Handler::sweep()
{
    const qint64 now = m_clock.elapsed();
    for (auto c = m_connections.begin(); c != m_connections.end();)
        c = c->second.socket ? std::next(c) : m_connections.erase(c);
    std::vector<QTcpSocket*> idle;
    for (auto& [socket, c] : m_connections) {
        // A live client is idle only while what it was sent does not move.
        const bool waiting = !c.streaming || socket->bytesToWrite() > 0;
        if (waiting && now - c.lastActive > kIdleMs)
            idle.push_back(socket);
        else if (c.streaming && socket->bytesToWrite() == 0 && now - c.lastActive > kIdleMs / 2)
            send(socket, c, ": ping\n\n");
    }
    for (QTcpSocket* socket : idle)
        drop(socket);
}

void WebServer::Handler::reply(QTcpSocket* socket, int code, const QByteArray& body, const QByteArray& type,
                               const QByteArray& extra)
{
    QByteArray head = "HTTP/1.1 " + statusText(code) + "\r\nContent-Type: " + type +
        "\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n" + extra + "\r\n";
    socket->write(head + body);
}

bool WebServer::Handler::authorised(const QHttpServerRequest& request) const
{
    if (m_options.token.empty())
        return true;
    const QByteArray token = QByteArray::fromStdString(m_options.token);
    for (const auto& [name, value] : request.headers()) {
        const QByteArray key = name.toLower();
        if (key == "authorization" && value.startsWith("Bearer ") && sameText(value.mid(7).trimmed(), token))
            return true;
        if (key != "cookie")
            continue;
        for (const QByteArray& cookie : value.split(';')) {
            const QByteArray pair = cookie.trimmed();
            if (pair.startsWith("velkor_token=") &&
                sameText(QByteArray::fromPercentEncoding(pair.mid(int(sizeof "velkor_token=") - 1)), token))
                return true;
        }
    }
    return false;
}

bool WebServer::Handler::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (const auto c = m_connections.find(socket); c != m_connections.end()) {
        c->second.lastActive = m_clock.elapsed();
        // A request sent before the recording in progress is all out: its answer would
        // cut into the file's bytes.
        if (c->second.file) {
            c->second.file.reset();
            dropLater(socket);
            return true;
        }
    }
    const QString path = request.url().path(QUrl::FullyDecoded);
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (path == "/login" && request.method() == QHttpServerRequest::Method::Post) {
        login(request, socket);
    } else if (!authorised(request)) {
        if (path == "/" && get)
            reply(socket, 401, page(true), "text/html; charset=utf-8");
        else
            reply(socket, 401, "{\"error\":\"token needed\"}", "application/json",
                  "WWW-Authenticate: Bearer realm=\"velkor\"\r\n");
    } else {
        route(request, socket, path);
    }
    return true;
}

void WebServer::Handler::route(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path)
{
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    if (path == "/" && get)
        reply(socket, 200, page(false), "text/html; charset=utf-8");
    else if (path == "/api/events" && get)
        events(request, socket);
    else if (path == "/api/stream" && get)
        stream(request, socket);
    else if (path == "/api/calls" && get)
        calls(socket);
    else if (path.startsWith("/recordings/") && get)
        recording(request, socket, path.mid(int(sizeof "/recordings/") - 1));
    else if ((path == "/api/end-call" || path == "/api/hold" || path == "/api/release") && post)
        control(request, socket, path);
    else
        reply(socket, 404, "not found\n");
}

void WebServer::Handler::login(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QUrlQuery form(QString::fromUtf8(request.body()).replace('+', ' '));
    const QByteArray given = form.queryItemValue("token", QUrl::FullyDecoded).toUtf8();
    if (m_options.token.empty() || !sameText(given, QByteArray::fromStdString(m_options.token))) {
        reply(socket, 401, page(true, "Wrong token."), "text/html; charset=utf-8");
        return;
    }
    const QByteArray cookie = "velkor_token=" + QByteArray::fromStdString(m_options.token).toPercentEncoding();
    reply(socket, 303, {}, "text/plain",
          "Location: /\r\nSet-Cookie: " + cookie + "; Path=/; HttpOnly; SameSite=Strict\r\n");
}

void WebServer::Handler::control(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path)
{
    if (m_options.token.empty()) {
        reply(socket, 403, "{\"error\":\"read-only: start velkor-track with --http-token-file\"}", "application/json");
        return;
    }
    if (path == "/api/end-call") {
        if (m_controls.endCall)
            m_controls.endCall();
        reply(socket, 200, "{\"ok\":true}", "application/json");
        return;
    }
    // The address as a form, a JSON object or the query.
    QUrlQuery fields(request.url().query());
    const QByteArray body = request.body();
    const QJsonDocument json = QJsonDocument::fromJson(body);
    if (json.isObject()) {
        for (const char* key : {"system", "fleet", "unit"})
            if (json.object().contains(key))
                fields.addQueryItem(key, QString::number(json.object().value(key).toDouble(), 'f', 0));
    } else if (!body.isEmpty()) {
        for (const auto& [key, value] : QUrlQuery(QString::fromUtf8(body)).queryItems(QUrl::FullyDecoded))
            fields.addQueryItem(key, value);
    }
    const auto system = addressPart(fields.queryItemValue("system"));
    const auto fleet = addressPart(fields.queryItemValue("fleet"));
    const auto unit = addressPart(fields.queryItemValue("unit"));
    if (!system || !fleet || !unit || *system == 0 || (*fleet == 0 && *unit != 0)) {
        reply(socket, 400, "{\"error\":\"system, fleet and unit: numbers from 1 to 4294967295\"}", "application/json");
        return;
    }
    const velkor_address_s address{*system, *fleet, *unit};
    const auto& act = path == "/api/hold" ? m_controls.hold : m_controls.release;
    if (act)
        act(address);
    reply(socket, 200, "{\"ok\":true}", "application/json");
}

void WebServer::Handler::events(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString text = request.query().queryItemValue("since");
    bool ok = true;
    const qulonglong since = text.isEmpty() ? 0 : text.toULongLong(&ok);
    if (!ok) {
        reply(socket, 400, "{\"error\":\"since: a number\"}", "application/json");
        return;
    }
    QByteArray body = "[";
    for (const auto& [seq, json] : m_backlog.after(since, EventBacklog::kEvents)) {
        if (body.size() > 1)
            body += ',';
        body += QByteArray::fromStdString(json);
    }
    reply(socket, 200, body + "]", "application/json");
}

void WebServer::Handler::calls(QTcpSocket* socket)
{
    QByteArray body = "[";
    for (const std::string& json : m_backlog.calls()) {
        if (body.size() > 1)
            body += ',';
        body += QByteArray::fromStdString(json);
    }
    reply(socket, 200, body + "]", "application/json");
}

void WebServer::Handler::stream(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const auto c = m_connections.find(socket);
    if (c == m_connections.end())
        return;
    // A browser that reconnects says where it was; otherwise the query, else only what
    // comes from now on.
    QByteArray from = request.query().queryItemValue("since").toUtf8();
    for (const auto& [name, value] : request.headers())
        if (name.toLower() == "last-event-id")
            from = value;
    bool ok = true;
    qulonglong since = from.isEmpty() ? m_backlog.lastSeq() : from.trimmed().toULongLong(&ok);
    if (!ok) {
        reply(socket, 400, "{\"error\":\"since: a number\"}", "application/json");
        return;
    }
    // Asked for more than is kept: what is kept.
    if (const auto first = m_backlog.after(since, 1); !first.empty())
        since = first.front().first - 1;
    // Browsers take the stream gzipped: an eighth of the bytes to every client.
    for (const auto& [name, value] : request.headers())
        if (name.toLower() == "accept-encoding")
            for (const QByteArray& item : value.split(',')) {
                const QList<QByteArray> parts = item.split(';');
                const QByteArray q = parts.size() > 1 ? parts[1].trimmed() : QByteArray("q=1");
                c->second.gzip = c->second.gzip ||
                    (parts[0].trimmed().toLower() == "gzip" && q.startsWith("q=") && q.mid(2).toDouble() > 0);
            }
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                  "X-Content-Type-Options: nosniff\r\nVary: Accept-Encoding\r\n" +
                  QByteArray(c->second.gzip ? "Content-Encoding: gzip\r\n\r\n" : "\r\n"));
    if (c->second.gzip) {
        c->second.crc = crc32(0, nullptr, 0);
        // Deflate, no time, no name, from Unix.
        socket->write(QByteArray::fromRawData("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10));
    }
    send(socket, c->second, "retry: 2000\n\n");
    c->second.streaming = true;
    c->second.next = since;
    feed(socket, c->second);
}

WebServer::Handler::Block* WebServer::Handler::block(uint64_t seq)
{
    const uint64_t index = (seq - 1) / kBlockEvents;
    // Its last number, or the last of this batch: every client of the batch is sent
    // the same bytes, even while the decoders add events.
    const uint64_t end = std::min((index + 1) * kBlockEvents, m_batchEnd);
    Block& b = m_blocks[index];
    const uint64_t have = b.at.empty() ? index * kBlockEvents : b.last();
    if (have < end) {
        for (const auto& [n, json] : m_backlog.after(have, end - have)) {
            if (n > end)
                break;
            if (b.at.empty())
                b.first = n;
            b.at.push_back(b.text.size());
            b.text += "id: " + QByteArray::number(n) + "\ndata: " + QByteArray::fromStdString(json) + "\n\n";
        }
    }
    if (b.at.empty()) {
        m_blocks.erase(index);
        return nullptr;
    }
    // Those the backlog no longer keeps go.
    const size_t keep = m_backlog.capacity() / kBlockEvents + 2;
    while (m_blocks.size() > keep && m_blocks.begin()->first < index)
        m_blocks.erase(m_blocks.begin());
    return &m_blocks.at(index);
}

void WebServer::Handler::feed(QTcpSocket* socket, Connection& c)
{
    // Written while the client's buffer has room; the rest when it has taken some.
    while (socket->bytesToWrite() < kClientBuffer) {
        Block* b = block(c.next + 1);
        if (!b || b->last() <= c.next)
            break;
        if (b->first > c.next + 1) {
            // Fallen behind what the backlog keeps: it would miss events.
            c.streaming = false;
            dropLater(socket);
            return;
        }
        // A whole block is shared with the socket's buffer; a part of one is copied.
        const qsizetype from = b->at[c.next + 1 - b->first];
        if (c.gzip) {
            auto& p = b->packed;
            if (p.from != from || p.to != b->text.size()) {
                p.bytes = pack(b->text.constData() + from, b->text.size() - from);
                p.crc = crc32(0, reinterpret_cast<const Bytef*>(b->text.constData() + from), b->text.size() - from);
                p.from = from;
                p.to = b->text.size();
            }
            sendPacked(socket, c, p.bytes, p.crc, p.to - p.from);
            if (!c.streaming)
                return;
        } else if (from == 0)
            socket->write(b->text);
        else
            socket->write(b->text.constData() + from, b->text.size() - from);
        c.next = b->last();
    }
    const auto [state, version] = m_backlog.state();
    if (version != c.stateVersion && socket->bytesToWrite() < kClientBuffer) {
        c.stateVersion = version;
        send(socket, c,
             "event: state\ndata: {\"calls\":" + QByteArray::number(qulonglong(m_backlog.callCount())) +
                 ",\"state\":" + QByteArray::fromStdString(state) + "}\n\n");
    }
}

void WebServer::Handler::send(QTcpSocket* socket, Connection& c, const QByteArray& text)
{
    if (!c.gzip) {
        socket->write(text);
        return;
    }
    // Short texts (the state, a ping, the end) as stored blocks: no compressor to set up
    // for each client.
    QByteArray stored;
    for (qsizetype at = 0; at < text.size() || at == 0; at += 0xffff) {
        const auto n = static_cast<uint16_t>(std::min<qsizetype>(0xffff, text.size() - at));
        const auto inverse = static_cast<uint16_t>(~n);
        const char head[] = {0, char(n & 0xff), char(n >> 8), char(inverse & 0xff), char(inverse >> 8)};
        stored.append(head, sizeof head).append(text.constData() + at, n);
    }
    sendPacked(socket, c, stored, crc32(0, reinterpret_cast<const Bytef*>(text.constData()), text.size()), text.size());
}

void WebServer::Handler::sendPacked(QTcpSocket* socket, Connection& c, const QByteArray& bytes, uLong crc,
                                    qsizetype size)
{
    if (bytes.isEmpty()) {
        // zlib failed (out of memory): nothing more can be sent that the client could read.
        c.streaming = false;
        dropLater(socket);
        return;
    }
    socket->write(bytes);
    c.crc = crc32_combine(c.crc, crc, size);
    c.size += static_cast<uint32_t>(size); // gzip keeps the length modulo 2^32
}

QByteArray WebServer::Handler::pack(const char* data, qsizetype size)
{
    // The fastest level: the text is made once for every client, but on the server's
    // thread, which keeps up with the decoders.
    if (!m_deflateReady)
        m_deflateReady = deflateInit2(&m_deflate, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    QByteArray out;
    if (!m_deflateReady || deflateReset(&m_deflate) != Z_OK)
        return out;
    out.resize(qsizetype(deflateBound(&m_deflate, uLong(size))) + 16);
    m_deflate.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_deflate.avail_in = uInt(size);
    m_deflate.next_out = reinterpret_cast<Bytef*>(out.data());
    m_deflate.avail_out = uInt(out.size());
    // A sync flush ends the blocks on a byte boundary without a last block; room to
    // spare says it is all out.
    if (deflate(&m_deflate, Z_SYNC_FLUSH) != Z_OK || m_deflate.avail_in != 0 || m_deflate.avail_out == 0)
        return {};
    out.resize(out.size() - m_deflate.avail_out);
    return out;
}

void WebServer::Handler::flush()
{
    m_batchEnd = m_backlog.lastSeq();
    std::vector<QTcpSocket*> live;
    for (const auto& [socket, c] : m_connections)
        if (c.streaming && c.socket)
            live.push_back(socket);
    for (QTcpSocket* socket : live)
        if (const auto c = m_connections.find(socket); c != m_connections.end()) {
            feed(socket, c->second);
            // Into the kernel now, as far as it takes it, rather than a block per turn
            // of the event loop.
            socket->flush();
        }
}

void WebServer::Handler::schedule(int ms)
{
    // Events are sent in batches: a few writes a second for each client while the
    // events come at the pace of the air.
    if (!m_batch.isActive() || m_batch.remainingTime() > ms)
        m_batch.start(ms);
}

void WebServer::Handler::recording(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path)
{
    const std::string text = path.toStdString();
    std::optional<fs::path> file;
    bool outside = text.empty() || text.front() == '/' || text.find('\0') != std::string::npos;
    for (const fs::path& part : fs::path(text))
        outside = outside || part == ".." || part == ".";
    std::error_code ec;
    if (!m_recordDir.empty() && !outside) {
        const fs::path real = fs::canonical(m_recordDir / text, ec);
        const auto [dirEnd, realIt] = std::mismatch(m_recordDir.begin(), m_recordDir.end(), real.begin(), real.end());
        if (!ec && dirEnd != m_recordDir.end())
            outside = true; // a link that leads out of the folder
        else if (!ec && fs::is_regular_file(real, ec))
            file = real;
    }
    if (outside && m_controls.log)
        m_controls.log("HTTP: refused a recording outside the record folder: " + text);
    auto in = std::make_shared<QFile>(file ? QString::fromStdString(file->string()) : QString());
    const auto c = m_connections.find(socket);
    if (!file || c == m_connections.end() || !in->open(QIODevice::ReadOnly)) {
        reply(socket, 404, "not found\n");
        return;
    }
    // A player seeking in a long call asks for a range; the whole file otherwise. Either
    // way it goes out in pieces as the client takes them, never read whole.
    const qint64 size = in->size();
    std::pair<qint64, qint64> range{0, size - 1};
    QByteArray head = "HTTP/1.1 200 OK\r\n";
    for (const auto& [name, value] : request.headers()) {
        if (name.toLower() != "range")
            continue;
        const auto asked = byteRange(value, size);
        if (!asked) {
            reply(socket, 416, "", "text/plain", "Content-Range: bytes */" + QByteArray::number(size) + "\r\n");
            return;
        }
        range = *asked;
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(range.first) + "-" +
            QByteArray::number(range.second) + "/" + QByteArray::number(size) + "\r\n";
    }
    if (!in->seek(range.first)) {
        reply(socket, 404, "not found\n");
        return;
    }
    socket->write(head + "Content-Type: " + audioType(*file) +
                  "\r\nContent-Length: " + QByteArray::number(range.second - range.first + 1) +
                  "\r\nAccept-Ranges: bytes\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n\r\n");
    c->second.file = std::move(in);
    c->second.fileLeft = range.second - range.first + 1;
    pump(socket, c->second);
}

void WebServer::Handler::pump(QTcpSocket* socket, Connection& c)
{
    constexpr qint64 kPiece = 64 * 1024;
    while (c.fileLeft > 0 && socket->bytesToWrite() < kClientBuffer) {
        const QByteArray piece = c.file->read(std::min(kPiece, c.fileLeft));
        if (piece.isEmpty()) {
            // The file shrank or failed under us: the length sent cannot be kept.
            c.file.reset();
            dropLater(socket);
            return;
        }
        c.fileLeft -= piece.size();
        socket->write(piece);
    }
    if (c.fileLeft == 0)
        c.file.reset();
}

QByteArray WebServer::Handler::page(bool login, const QByteArray& message) const
{
    if (login) {
        return "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>velkor-track: token</title>"
               "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"></head>"
               "<body style=\"font-family:sans-serif;margin:3em\"><h1>velkor-track</h1>"
               "<form method=\"post\" action=\"/login\"><label>Token <input type=\"password\" name=\"token\" "
               "autofocus></label> <button>Open</button></form><p>" +
            message + "</p></body></html>\n";
    }
    static const QByteArray shipped = [] {
        QFile file(":/velkor/web/page.html");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("page missing\n");
    }();
    QByteArray text = shipped;
    return text.replace("@CONTROLS@", m_options.token.empty() ? "0" : "1");
}

WebServer::WebServer(EventBacklog& backlog, web_options_s options, web_controls_s controls)
    : m_backlog(backlog)
    , m_options(std::move(options))
    , m_controls(std::move(controls))
    , m_wake(std::make_shared<Wake>())
{
    m_thread.setObjectName("velkor-http");
}

WebServer::~WebServer()
{
    stop();
}

velkor::Result<uint16_t> WebServer::start()
{
    if (m_anchor)
        return velkor::fail("the web server runs already");
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    m_thread.start();
    velkor::Result<uint16_t> port = velkor::fail("the web server's thread did not start");
    std::unique_ptr<WatchedTcpServer> tcp;
    // Listening first: the caller learns the port or the failure at once. The HTTP
    // library's own set-up follows in serve(); connections wait until it is done.
    QMetaObject::invokeMethod(
        m_anchor,
        [this, &port, &tcp] {
            // Below the decoders: serving waits when the cores are busy, decoding never.
            setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
            QHostAddress address;
            if (m_options.host == "localhost") {
                address = QHostAddress(QHostAddress::LocalHost);
            } else if (!address.setAddress(QString::fromStdString(m_options.host))) {
                port = velkor::fail("\"" + m_options.host + "\" is not an IP address");
                return;
            }
            tcp = std::make_unique<WatchedTcpServer>();
            if (!tcp->listen(address, m_options.port)) {
                port = velkor::fail("cannot listen on " + m_options.host + ":" + std::to_string(m_options.port) + ": " +
                                    tcp->errorString().toStdString());
                tcp.reset();
                return;
            }
            tcp->pauseAccepting();
            port = static_cast<uint16_t>(tcp->serverPort());
        },
        Qt::BlockingQueuedConnection);
    if (!port) {
        stop();
        return port;
    }
    m_listening = tcp.release();
    {
        const std::lock_guard<std::mutex> lock(m_wake->mutex);
        m_wake->stopped = false;
    }
    m_backlog.setListener([wake = m_wake] { (*wake)(); });
    return port;
}

void WebServer::serve()
{
    if (!m_anchor || !m_listening)
        return;
    QMetaObject::invokeMethod(
        m_anchor,
        [this, listening = static_cast<WatchedTcpServer*>(std::exchange(m_listening, nullptr))] {
            m_handler = new Handler(m_backlog, m_options, m_controls, std::unique_ptr<WatchedTcpServer>(listening));
            const std::lock_guard<std::mutex> lock(m_wake->mutex);
            if (m_wake->stopped)
                return;
            m_wake->target = m_handler;
            m_handler->batchStarts = [wake = m_wake.get()] {
                wake->queued = false;
                wake->changes = 0;
            };
            m_wake->flush = [handler = m_handler] { handler->schedule(); };
            m_wake->now = [handler = m_handler] { handler->schedule(0); };
            // Events added before now woke nobody.
            m_handler->schedule();
        },
        Qt::QueuedConnection);
}

void WebServer::stop()
{
    if (!m_anchor)
        return;
    m_backlog.setListener({});
    {
        const std::lock_guard<std::mutex> lock(m_wake->mutex);
        m_wake->target = nullptr;
        m_wake->stopped = true;
    }
    QMetaObject::invokeMethod(
        m_anchor,
        [this, unserved = std::exchange(m_listening, nullptr)] {
            delete unserved;
            if (m_handler)
                m_handler->shutdown();
            delete m_handler;
            m_handler = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_anchor;
    m_anchor = nullptr;
}

velkor::Result<web_options_s> parseHttpAddress(const std::string& text)
{
    web_options_s options;
    std::string port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        options.host = host;
        port = text.substr(colon + 1);
    }
    const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == port.npos;
    const unsigned long number = digits ? std::stoul(port) : 0;
    QHostAddress check;
    const bool hostOk = options.host == "localhost" || check.setAddress(QString::fromStdString(options.host));
    if (number == 0 || number > 65535 || !hostOk)
        return velkor::fail("\"" + text +
                            "\" is not [HOST:]PORT (an IP address, or localhost, and a port from 1 "
                            "to 65535)");
    options.port = static_cast<uint16_t>(number);
    return options;
}

} // namespace velkor
