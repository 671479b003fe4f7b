#include "access/SR_517.h"

#include "access/Tools.h"
#include "access/UploadBody.h"
#include "protocols/Dh.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace zadari {

namespace {

// Sends one datagram on every route; true when at least one went out.
bool SendOnRoutes(QUdpSocket& socket, const std::vector<TDhRoute>& routes, const TBytes& bytes,
                  std::uint16_t port) {
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    bool sent = false;
    for (const TDhRoute& route : routes) {
        QNetworkDatagram datagram(data, route.destination, port);
        if (route.interfaceIndex > 0)
            datagram.setInterfaceIndex(static_cast<uint>(route.interfaceIndex));
        if (socket.writeDatagram(datagram) == data.size())
            sent = true;
    }
    return sent;
}

TByteView ViewOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

} // namespace

std::vector<TDhRoute> DhBroadcastRoutes() {
    std::vector<TDhRoute> routes;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        const auto flags = nic.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        bool hasIpv4 = false;
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            hasIpv4 = hasIpv4 || entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
        if (hasIpv4)
            routes.push_back({QHostAddress(QHostAddress::Broadcast), nic.index()});
    }
    return routes;
}

/// Listens for search replies on the event loop: each 30-ms period without a datagram counts,
/// and after ten of them (in total, never reset) the socket closes. Periods with replies do not
/// count, so a busy network lengthens the search only by the periods it fills.
class TDhSearchListener : public QObject {
    Q_OBJECT
public:
    TDhSearchListener(std::unique_ptr<QUdpSocket> socket, TOnDeviceFound onFound,
                      const TT517Setup& setup, QObject* parent)
        : QObject(parent), socket_(std::move(socket)), onFound_(std::move(onFound)),
          quietPeriods_(setup.quietPeriods) {
        socket_->setParent(this);
        connect(socket_.get(), &QUdpSocket::readyRead, this, &TDhSearchListener::ReadReplies);
        connect(&timer_, &QTimer::timeout, this, &TDhSearchListener::PeriodEnded);
        timer_.start(setup.quietPeriodMs);
    }
    ~TDhSearchListener() override {
        // The socket is our child; release it from the unique_ptr before QObject deletes it.
        socket_.release();
    }

    bool Active() const { return active_; }

    void Finish() {
        if (!active_)
            return;
        active_ = false;
        timer_.stop();
        socket_->close();
        Q_EMIT Finished();
        deleteLater();
    }

Q_SIGNALS:
    void Finished();

private:
    void ReadReplies() {
        while (active_ && socket_->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket_->receiveDatagram(kDhSearchReplyMax);
            const QByteArray data = datagram.data();
            if (data.isEmpty())
                continue;
            heard_ = true;
            TDevInfo record;
            if (ParseDhSearchReply(ViewOf(data), record) && onFound_)
                onFound_(record);
        }
    }

    void PeriodEnded() {
        ReadReplies(); // whatever is queued belongs to the period that just ended
        if (heard_) {
            heard_ = false;
            return;
        }
        if (++idle_ >= quietPeriods_)
            Finish();
    }

    std::unique_ptr<QUdpSocket> socket_;
    TOnDeviceFound onFound_;
    QTimer timer_;
    int quietPeriods_;
    int idle_ = 0;
    bool heard_ = false;
    bool active_ = true;
};

TT517Series::TT517Series(TT517Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)) {}

TT517Series::~TT517Series() {
    StopSearch();
    delete listener_.data();
}

bool TT517Series::Searching() const {
    return listener_ && listener_->Active();
}

void TT517Series::StopSearch() {
    if (listener_)
        listener_->Finish();
}

void TT517Series::Search(int port, TOnDeviceFound onFound) {
    // The previous listener still holds the port: as a failed bind, nothing is sent this time.
    if (Searching() || port <= 0 || port > 65535)
        return;
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(setup_.bindAddress, setup_.searchLocalPort,
                      QAbstractSocket::DontShareAddress))
        return;
    const std::vector<TDhRoute> routes = setup_.routes ? setup_.routes() : std::vector<TDhRoute>{};
    SendOnRoutes(*socket, routes, BuildDhSearchRequest(), static_cast<std::uint16_t>(port));
    auto* listener = new TDhSearchListener(std::move(socket), std::move(onFound), setup_, this);
    connect(listener, &TDhSearchListener::Finished, this, &TT517Series::SearchFinished);
    listener_ = listener;
}

bool TT517Series::SetNetParams(const std::string& user, const std::string& password,
                               const TDevInfo& settings) {
    const TBytes request = BuildDhSettingsRequest(user, password, settings);
    QUdpSocket socket;
    // When the port is taken the request leaves from one the system picks; the device answers
    // to wherever it came from.
    if (!socket.bind(setup_.bindAddress, setup_.settingsLocalPort,
                     QAbstractSocket::DontShareAddress) &&
        !socket.bind(setup_.bindAddress, 0))
        return false;
    const std::vector<TDhRoute> routes = setup_.routes ? setup_.routes() : std::vector<TDhRoute>{};
    if (!SendOnRoutes(socket, routes, request, setup_.settingsPort))
        return false;

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const qint64 left = setup_.ackWaitLimitMs - waited.elapsed();
        if (left <= 0)
            return false;
        const int wait = static_cast<int>(std::min<qint64>(setup_.quietPeriodMs, left));
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(wait))
            return false;
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram(kDhSettingsAckMax);
            const auto status = ParseDhSettingsAck(ViewOf(datagram.data()));
            if (status)
                return *status == kDhAccepted;
            // Anything else (our own request looped back among it) restarts the quiet period.
        }
    }
}

bool TT517Series::UpgradeFirmware(const std::string& baseUrl, const std::string& user,
                                  const std::string& password, const QString& fileName,
                                  const TUploadProgress& progress) {
    std::string page;
    std::string version;
    // The account goes as typed, but a blank (refused by the HTTP client) or a '#' (the start
    // of a fragment) would cut the query short: those are escaped as in the upload.
    const std::string statusUrl = SafeRequestTarget(DhStatusUrl(baseUrl, user, password));
    if (TTools::HttpGet(statusUrl, page, setup_.statusTimeoutMs) && !page.empty())
        version = DhSysVersionOf(page);
    return UploadFile(DhFirmwareUploadUrl(baseUrl, user, password, version), fileName, progress);
}

bool TT517Series::UpgradeWebUI(const std::string& baseUrl, const std::string& user,
                               const std::string& password, const QString& fileName,
                               const TUploadProgress& progress) {
    return UploadFile(DhWebUiUploadUrl(baseUrl, user, password), fileName, progress);
}

bool TT517Series::UploadFile(const std::string& url, const QString& fileName,
                             const TUploadProgress& progress) const {
    THttpAddress address;
    if (!ParseHttpUrl(url, address))
        return false;
    TFileUploadRequest request;
    request.filePath = QFile::encodeName(fileName).toStdString();
    request.fileSize = FileSizeOf(request.filePath);
    if (request.fileSize < 0)
        return false;
    const std::string boundary = MultipartBoundary(LocalBoundaryTime());
    request.host = address.host;
    request.port = static_cast<std::uint16_t>(address.port);
    request.target = SafeRequestTarget(address.target);
    request.bodyHead = MultipartPartHead(boundary, "file", SafeFormFileName(request.filePath),
                                         "application/x-zip-compressed");
    request.bodyTail = MultipartTail(boundary);
    request.headers = {
        "Content-Type: multipart/form-data; boundary=" + boundary,
        "Content-Length: " + std::to_string(request.BodySize()),
        "Host: " + HostHeaderValue(address.host, address.port),
        "Accept: image/gif, image/jpeg, image/pjpeg, image/pjpeg, "
        "application/x-shockwave-flash, */*",
        "Accept-Encoding: gzip,deflate",
        "User-Agent: Mozilla/3.0 (compatible; Indy Library)",
    };
    request.connectTimeoutMs = setup_.uploadTimeoutMs;
    request.silenceTimeoutMs = setup_.uploadTimeoutMs;
    const TUploadAnswer answer = UploadFileRequest(request, progress);
    return answer.answered && answer.status >= 200 && answer.status <= 299;
}

} // namespace zadari

#include "SR_517.moc"
