#pragma once
// The client of the "DH" family (family 9): its own UDP search and settings exchange on port
// 8600, and firmware and web-UI uploads over HTTP. The program makes one TT517Series and reaches
// it through IT517Series. Search and SetNetParams belong to the main thread; the upgrades hold
// no state and may run on a worker thread.
#include "access/HttpUpload.h"
#include "protocols/DevInfo.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zadari {

/// Receives each device a search finds, on the main thread, in arrival order. The record is
/// valid during the call only.
using TOnDeviceFound = std::function<void(const TDevInfo& record)>;

class IT517Series {
public:
    virtual ~IT517Series() = default;

    /// Sends the search request to `port` and listens for replies for a short while; returns at
    /// once. Does nothing while the previous search still listens.
    virtual void Search(int port, TOnDeviceFound onFound) = 0;
    /// Ends a running search at once (program exit); nothing when none runs.
    virtual void StopSearch() {}
    /// Re-addresses the device whose MAC settings.macKey names; true when it acknowledged with
    /// status 0x8000. Blocks for at least one 30-ms quiet period.
    virtual bool SetNetParams(const std::string& user, const std::string& password,
                              const TDevInfo& settings) = 0;
    /// Uploads system firmware; baseUrl is "http://" + IP, with ":" + port unless it is 80.
    virtual bool UpgradeFirmware(const std::string& baseUrl, const std::string& user,
                                 const std::string& password, const QString& fileName,
                                 const TUploadProgress& progress = {}) = 0;
    /// Uploads a web user interface to baseUrl.
    virtual bool UpgradeWebUI(const std::string& baseUrl, const std::string& user,
                              const std::string& password, const QString& fileName,
                              const TUploadProgress& progress = {}) = 0;
};

/// One way out for a broadcast: the destination and the interface it must leave by (0: the
/// system's choice).
struct TDhRoute {
    QHostAddress destination;
    int interfaceIndex = 0;
};
using TDhRoutes = std::function<std::vector<TDhRoute>()>;

/// 255.255.255.255 on every interface that is up, can broadcast, is not loopback and has an
/// IPv4 address, so devices are found on every adapter, with or without a default route.
std::vector<TDhRoute> DhBroadcastRoutes();

/// Where the client's datagrams go and how long it waits. The defaults are the family's own;
/// tests point them at 127.0.0.1 and free ports.
struct TT517Setup {
    TDhRoutes routes = &DhBroadcastRoutes;
    QHostAddress bindAddress = QHostAddress::AnyIPv4;
    std::uint16_t searchLocalPort = 3565;   ///< the search listens here
    std::uint16_t settingsLocalPort = 8600; ///< the settings request leaves from here if free
    std::uint16_t settingsPort = 8600;      ///< and goes to this port
    int quietPeriodMs = 30;
    int quietPeriods = 10; ///< empty periods the search listens for
    /// Unrelated datagrams restart the acknowledgement's quiet period; this bounds the whole wait
    /// so a chatty network cannot hold the caller.
    int ackWaitLimitMs = 1000;
    int statusTimeoutMs = 20000;
    int uploadTimeoutMs = 60000;
};

class TDhSearchListener;

class TT517Series : public QObject, public IT517Series {
    Q_OBJECT
public:
    explicit TT517Series(TT517Setup setup = {}, QObject* parent = nullptr);
    ~TT517Series() override;

    const TT517Setup& Setup() const { return setup_; }

    void Search(int port, TOnDeviceFound onFound) override;
    bool SetNetParams(const std::string& user, const std::string& password,
                      const TDevInfo& settings) override;
    bool UpgradeFirmware(const std::string& baseUrl, const std::string& user,
                         const std::string& password, const QString& fileName,
                         const TUploadProgress& progress = {}) override;
    bool UpgradeWebUI(const std::string& baseUrl, const std::string& user,
                      const std::string& password, const QString& fileName,
                      const TUploadProgress& progress = {}) override;

    /// The multipart upload both upgrades share (field "file", no credentials header, 2xx is
    /// success).
    bool UploadFile(const std::string& url, const QString& fileName,
                    const TUploadProgress& progress = {}) const;

    /// True while a search still listens.
    bool Searching() const;
    void StopSearch() override;

Q_SIGNALS:
    /// The running search ended (its listening time passed or StopSearch).
    void SearchFinished();

private:
    TT517Setup setup_;
    QPointer<TDhSearchListener> listener_;
};

} // namespace zadari
