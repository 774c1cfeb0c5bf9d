#include "celaris/drivers/indi/indi_client.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace celaris::indi {

namespace {

// The newest messages kept for waiting callers.
constexpr qsizetype kMessagesKept = 256;

QString ErrnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray Escaped(const QString& s) {
    return s.toHtmlEscaped().toLatin1();
}

QByteArray VectorXml(const char* kind, const char* one, const QString& device, const QString& name,
                     const QList<QPair<QString, QByteArray>>& values) {
    QByteArray xml;
    xml += "<new";
    xml += kind;
    xml += "Vector device=\"" + Escaped(device) + "\" name=\"" + Escaped(name) + "\">\n";
    for (const auto& [element, value] : values) {
        xml += "  <one";
        xml += one;
        xml += " name=\"" + Escaped(element) + "\">" + value + "</one";
        xml += one;
        xml += ">\n";
    }
    xml += "</new";
    xml += kind;
    xml += "Vector>\n";
    return xml;
}

// Connects a TCP socket to host:port within the time-out; -1 and the reason
// when no address of the host answers.
int ConnectSocket(const QString& host, int port, std::chrono::milliseconds timeout,
                  QString* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray node = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    const int rc = ::getaddrinfo(node.constData(), service.constData(), &hints, &found);
    if (rc != 0) {
        *error = QString::fromLocal8Bit(::gai_strerror(rc));
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QString lastError = QStringLiteral("no address");
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        const int s =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (s < 0) {
            lastError = ErrnoText(errno);
            continue;
        }
        int err = 0;
        if (::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                pollfd p{s, POLLOUT, 0};
                const int n = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
                socklen_t len = sizeof err;
                if (n == 1)
                    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
                else
                    err = ETIMEDOUT;
            }
        }
        if (err != 0) {
            lastError = ErrnoText(err);
            ::close(s);
            continue;
        }
        fd = s;
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        *error = lastError;
        return -1;
    }
    // Blocking from here on; writes give up after a few seconds rather than
    // hang on a server that stopped reading.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    // A server whose computer goes away sends no end of stream: probe an
    // idle connection, so that its loss shows within half a minute.
    const int idle = 10, interval = 5, probes = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    return fd;
}

}  // namespace

// ---- The stream parser (reader thread only) -----------------------------

// INDI sends a stream of top-level elements with no document around them;
// the parser reads them inside a root element of its own, one token at a
// time, so that data may end anywhere.
class IndiClient::Parser {
  public:
    explicit Parser(IndiClient& client) : client_(client) {
        xml_.addData(QByteArrayLiteral("<indi>"));
    }

    // False, with the reason, once the stream is not well-formed.
    bool Feed(const QByteArray& latin1, QString* error) {
        // The wire is ISO-8859-1 and carries no declaration.
        xml_.addData(QString::fromLatin1(latin1).toUtf8());
        for (;;) {
            const QXmlStreamReader::TokenType t = xml_.readNext();
            if (xml_.hasError()) {
                if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError) return true;
                *error =
                    QStringLiteral("the server sent malformed XML (%1)").arg(xml_.errorString());
                return false;
            }
            switch (t) {
                case QXmlStreamReader::StartElement:
                    ++depth_;
                    if (depth_ == 2) BeginTop();
                    if (depth_ == 3) BeginChild();
                    break;
                case QXmlStreamReader::Characters:
                    if (depth_ == 3 && inChild_) childText_ += xml_.text();
                    break;
                case QXmlStreamReader::EndElement:
                    if (depth_ == 3) EndChild();
                    if (depth_ == 2) EndTop();
                    --depth_;
                    break;
                case QXmlStreamReader::EndDocument:
                    *error = QStringLiteral("the server ended its stream");
                    return false;
                default:
                    break;
            }
        }
    }

  private:
    enum class Top { Ignored, Definition, Update };

    QString Attr(const char* name) const {
        return xml_.attributes().value(QLatin1String(name)).toString();
    }

    static std::optional<PropertyType> TypeOf(QStringView kind) {
        if (kind == u"Text") return PropertyType::Text;
        if (kind == u"Number") return PropertyType::Number;
        if (kind == u"Switch") return PropertyType::Switch;
        if (kind == u"Light") return PropertyType::Light;
        if (kind == u"BLOB") return PropertyType::Blob;
        return std::nullopt;
    }

    void BeginTop() {
        const QStringView name = xml_.name();
        top_ = Top::Ignored;
        if (name == u"message") {
            client_.ApplyMessage(Attr("device"), Attr("message"));
            return;
        }
        if (name == u"delProperty") {
            const QString text = Attr("message");
            if (!text.isEmpty()) client_.ApplyMessage(Attr("device"), text);
            client_.ApplyDelete(Attr("device"), Attr("name"));
            return;
        }
        if (name == u"pingRequest") {
            client_.Send("<pingReply uid=\"" + Escaped(Attr("uid")) + "\"/>\n");
            return;
        }
        const bool def = name.startsWith(u"def");
        const bool set = name.startsWith(u"set");
        if ((!def && !set) || !name.endsWith(u"Vector")) return;
        const auto type = TypeOf(name.mid(3, name.size() - 9));
        if (!type) return;
        top_ = def ? Top::Definition : Top::Update;
        p_ = Property{};
        p_.type = *type;
        p_.device = Attr("device");
        p_.name = Attr("name");
        p_.label = Attr("label");
        p_.group = Attr("group");
        p_.perm = Attr("perm");
        p_.rule = Attr("rule");
        hasState_ = xml_.attributes().hasAttribute(QLatin1String("state"));
        p_.state = ParseState(Attr("state"));
        topMessage_ = Attr("message");
    }

    void BeginChild() {
        inChild_ = top_ != Top::Ignored;
        if (!inChild_) return;
        child_ = Element{};
        child_.name = Attr("name");
        child_.label = Attr("label");
        if (p_.type == PropertyType::Number) {
            child_.min = Attr("min").toDouble();
            child_.max = Attr("max").toDouble();
        }
        if (p_.type == PropertyType::Blob) child_.format = Attr("format");
        childText_.clear();
    }

    void EndChild() {
        if (!inChild_) return;
        inChild_ = false;
        if (p_.type == PropertyType::Blob) {
            // Base64 with line breaks, which the decoder skips.
            child_.blob = QByteArray::fromBase64(childText_.toLatin1());
            childText_.clear();
        } else {
            child_.text = childText_.trimmed();
        }
        if (p_.type == PropertyType::Number)
            child_.number = ParseIndiNumber(child_.text).value_or(std::nan(""));
        p_.elements.append(std::move(child_));
    }

    void EndTop() {
        if (top_ == Top::Ignored) return;
        // A message that comes with a vector is the device's word on it,
        // said before the state it reports.
        if (!topMessage_.isEmpty()) client_.ApplyMessage(p_.device, topMessage_);
        client_.Apply(std::move(p_), top_ == Top::Definition, hasState_);
        top_ = Top::Ignored;
    }

    IndiClient& client_;
    QXmlStreamReader xml_;
    int depth_ = 0;
    Top top_ = Top::Ignored;
    Property p_;
    bool hasState_ = false;
    QString topMessage_;
    bool inChild_ = false;
    Element child_;
    QString childText_;
};

// ---- The cache as predicates see it --------------------------------------

class IndiClient::View : public CacheView {
  public:
    explicit View(const IndiClient& c) : c_(c) {}
    const Property* Find(const QString& device, const QString& name) const override {
        const auto it = c_.properties_.find({device, name});
        return it == c_.properties_.end() ? nullptr : &it->second;
    }
    QList<Message> MessagesAfter(const QString& device, uint64_t seq) const override {
        QList<Message> out;
        for (const Message& m : c_.messages_)
            if (m.seq > seq && (m.device == device || m.device.isEmpty())) out.append(m);
        return out;
    }
    uint64_t Sequence() const override { return c_.seq_; }

  private:
    const IndiClient& c_;
};

// ---- Connection ----------------------------------------------------------

IndiClient::IndiClient(QString host, int port) : host_(std::move(host)), port_(port) {}

bool IndiClient::ReadForTesting(const QList<QByteArray>& pieces, QString* error) {
    Parser parser(*this);
    for (const QByteArray& piece : pieces)
        if (!parser.Feed(piece, error)) return false;
    return true;
}

IndiClient::~IndiClient() {
    Close();
}

bool IndiClient::Open(std::chrono::milliseconds timeout, QString* error) {
    Close();
    QString reason;
    const int fd = ConnectSocket(host_, port_, timeout, &reason);
    if (fd < 0) {
        if (error) *error = reason;
        return false;
    }
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = ErrnoText(errno);
        ::close(fd);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        socket_ = fd;
        wakeRead_ = wake[0];
        wakeWrite_ = wake[1];
        open_ = true;
        lost_ = false;
        lostReason_.clear();
        properties_.clear();
        messages_.clear();
        lastDefinition_ = Clock::now();
    }
    reader_ = std::thread([this] { ReaderLoop(); });
    return true;
}

void IndiClient::Close() {
    if (reader_.joinable()) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(wakeWrite_, &c, 1);
        reader_.join();
    }
    std::lock_guard lock(mutex_);
    for (int* fd : {&socket_, &wakeRead_, &wakeWrite_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    open_ = false;
    changed_.notify_all();
}

bool IndiClient::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_ && !lost_;
}

bool IndiClient::IsLost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

QString IndiClient::LostReason() const {
    std::lock_guard lock(mutex_);
    return lostReason_;
}

void IndiClient::MarkLost(const QString& reason) {
    std::lock_guard lock(mutex_);
    if (!lost_) {
        lost_ = true;
        lostReason_ = reason;
    }
    changed_.notify_all();
}

void IndiClient::ReaderLoop() {
    Parser parser(*this);
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            MarkLost(ErrnoText(errno));
            return;
        }
        if (fds[1].revents != 0) return;  // Close()
        const ssize_t n = ::recv(socket_, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            MarkLost(n == 0 ? QStringLiteral("the server closed the connection")
                            : ErrnoText(errno));
            return;
        }
        QString error;
        if (!parser.Feed(buffer.left(n), &error)) {
            MarkLost(error);
            return;
        }
    }
}

// ---- Cache updates (reader thread) ----------------------------------------

void IndiClient::Apply(Property&& p, bool definition, bool hasState) {
    std::lock_guard lock(mutex_);
    const uint64_t seq = ++seq_;
    const auto now = Clock::now();
    if (definition) lastDefinition_ = now;
    const auto key = std::make_pair(p.device, p.name);
    Property* target = nullptr;
    if (definition) {
        // A second definition replaces the first but keeps its history.
        const auto old = properties_.find(key);
        if (old != properties_.end()) p.stateSeen = old->second.stateSeen;
        target = &(properties_[key] = std::move(p));
    } else {
        const auto it = properties_.find(key);
        if (it == properties_.end()) {
            changed_.notify_all();
            return;  // an update of a property never defined
        }
        target = &it->second;
        if (hasState) target->state = p.state;
        for (const Element& e : p.elements) {
            for (Element& mine : target->elements) {
                if (mine.name != e.name) continue;
                mine.text = e.text;
                mine.number = e.number;
                mine.blob = e.blob;
                mine.format = e.format;
            }
        }
    }
    target->updated = seq;
    target->stateSeen[static_cast<size_t>(target->state)] = seq;
    target->receivedAt = now;
    changed_.notify_all();
}

void IndiClient::ApplyMessage(const QString& device, const QString& text) {
    std::lock_guard lock(mutex_);
    messages_.append(Message{++seq_, device, text.trimmed()});
    if (messages_.size() > kMessagesKept) messages_.remove(0, messages_.size() - kMessagesKept);
    changed_.notify_all();
}

void IndiClient::ApplyDelete(const QString& device, const QString& name) {
    std::lock_guard lock(mutex_);
    ++seq_;
    for (auto it = properties_.begin(); it != properties_.end();) {
        if (it->first.first == device && (name.isEmpty() || it->first.second == name))
            it = properties_.erase(it);
        else
            ++it;
    }
    changed_.notify_all();
}

// ---- Commands ------------------------------------------------------------

uint64_t IndiClient::Send(const QByteArray& xml) {
    std::lock_guard writeLock(writeMutex_);
    uint64_t seq;
    int fd;
    {
        std::lock_guard lock(mutex_);
        seq = seq_;
        fd = (open_ && !lost_) ? socket_ : -1;
    }
    if (fd < 0) return seq;
    qsizetype sent = 0;
    while (sent < xml.size()) {
        const ssize_t n = ::send(fd, xml.constData() + sent, xml.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            MarkLost(QStringLiteral("cannot send to the server (%1)")
                         .arg(n < 0 ? ErrnoText(errno) : QStringLiteral("nothing written")));
            break;
        }
        sent += n;
    }
    return seq;
}

uint64_t IndiClient::GetProperties(const QString& device) {
    QByteArray xml = "<getProperties version=\"1.7\"";
    if (!device.isEmpty()) xml += " device=\"" + Escaped(device) + "\"";
    return Send(xml + "/>\n");
}

uint64_t IndiClient::SendNumbers(const QString& device, const QString& name,
                                 const QList<QPair<QString, double>>& values) {
    QList<QPair<QString, QByteArray>> v;
    for (const auto& [element, number] : values)
        v.append({element, QByteArray::number(number, 'f', 12)});
    return Send(VectorXml("Number", "Number", device, name, v));
}

uint64_t IndiClient::SendSwitches(const QString& device, const QString& name,
                                  const QList<QPair<QString, bool>>& values) {
    QList<QPair<QString, QByteArray>> v;
    for (const auto& [element, on] : values)
        v.append({element, on ? QByteArrayLiteral("On") : QByteArrayLiteral("Off")});
    return Send(VectorXml("Switch", "Switch", device, name, v));
}

uint64_t IndiClient::SendTexts(const QString& device, const QString& name,
                               const QList<QPair<QString, QString>>& values) {
    QList<QPair<QString, QByteArray>> v;
    for (const auto& [element, text] : values) v.append({element, Escaped(text)});
    return Send(VectorXml("Text", "Text", device, name, v));
}

uint64_t IndiClient::EnableBlobs(const QString& device) {
    return Send("<enableBLOB device=\"" + Escaped(device) + "\">Also</enableBLOB>\n");
}

// ---- Reading and waiting ---------------------------------------------------

std::optional<Property> IndiClient::Find(const QString& device, const QString& name) const {
    std::lock_guard lock(mutex_);
    const auto it = properties_.find({device, name});
    if (it == properties_.end()) return std::nullopt;
    return it->second;
}

QList<QString> IndiClient::Devices() const {
    std::lock_guard lock(mutex_);
    QList<QString> devices;
    for (const auto& [key, p] : properties_)
        if (!devices.contains(key.first)) devices.append(key.first);
    return devices;
}

QList<Message> IndiClient::MessagesAfter(const QString& device, uint64_t seq) const {
    std::lock_guard lock(mutex_);
    return View(*this).MessagesAfter(device, seq);
}

uint64_t IndiClient::Sequence() const {
    std::lock_guard lock(mutex_);
    return seq_;
}

IndiClient::Clock::duration IndiClient::SinceLastDefinition() const {
    std::lock_guard lock(mutex_);
    return Clock::now() - lastDefinition_;
}

WaitResult IndiClient::WaitUntil(Clock::time_point deadline, const Predicate& pred) const {
    std::unique_lock lock(mutex_);
    const View view(*this);
    for (;;) {
        if (pred(view)) return WaitResult::Satisfied;
        if (lost_ || !open_) return WaitResult::Lost;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return pred(view) ? WaitResult::Satisfied : WaitResult::TimedOut;
        }
    }
}

WaitResult IndiClient::WaitDefinitionsQuiet(std::chrono::milliseconds quiet,
                                            Clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (lost_ || !open_) return WaitResult::Lost;
        const auto calmAt = lastDefinition_ + quiet;
        const auto now = Clock::now();
        if (now >= calmAt) return WaitResult::Satisfied;
        if (now >= deadline) return WaitResult::TimedOut;
        changed_.wait_until(lock, std::min(calmAt, deadline));
    }
}

}  // namespace celaris::indi
