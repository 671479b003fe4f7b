#pragma once
// A fleet run: the cameras of a checked plan re-addressed one after another with their family's
// own command, each then verified by the search finding its MAC at the new address. It runs on
// the main thread's event loop beside the search (which keeps running); it holds no widget. The
// window shows its table and progress, zadari-cli prints its report.
#include "app/ApplyFlow.h"
#include "app/Credentials.h"
#include "app/FleetPlan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zadari {

class TDeviceList;
class TSession;

/// The listed cameras' records in display order.
std::vector<TDevInfo> ListedCameras(const TDeviceList& list);
/// Checks a plan against the session's list and the commands that reach its cameras.
TCheckedPlan CheckPlanAgainst(TSession& session, const std::vector<TPlanEntry>& entries);

enum class TFleetStatus {
    kWaiting,    ///< not sent yet
    kVerifying,  ///< the command went out; waiting for the camera at its new address
    kVerified,   ///< found again by its MAC at the new address
    kUnverified, ///< the command went out but the camera was not found at its new address in time
    kFailed,     ///< the command was not sent or was refused
    kNotFound,   ///< no listed camera has the plan's MAC
    kCancelled,  ///< the run was cancelled before its turn
};

/// The report's word for a status ("verified", "not-found", ...).
const char* FleetStatusWord(TFleetStatus status);
/// The message key the window shows for a status.
const char* FleetStatusKey(TFleetStatus status);

struct TFleetCamera {
    TPlanEntry entry;
    TDevInfo listed; ///< empty record for a camera not found
    std::string newIp;
    TFleetStatus status = TFleetStatus::kWaiting;
    std::string detail; ///< English, for the report
    int waitsFor = -1;  ///< index of the camera that must leave newIp first
    qint64 sentAtMs = -1;

    bool Final() const {
        return status != TFleetStatus::kWaiting && status != TFleetStatus::kVerifying;
    }
};

/// Remembers the account given for each family, so a run asks once per family; a family whose
/// account a camera refused is asked again.
class TFleetCredentials : public ICredentialsProvider {
public:
    explicit TFleetCredentials(ICredentialsProvider& asker) : asker_(asker) {}
    std::optional<TCredentials> AskCredentials(std::int32_t family,
                                               const TCredentials& presets) override;
    /// Forgets the family's account; the next camera of the family asks again.
    void Forget(std::int32_t family) { accounts_.erase(family); }
    std::optional<TCredentials> Known(std::int32_t family) const;

private:
    ICredentialsProvider& asker_;
    std::map<std::int32_t, TCredentials> accounts_;
};

class TFleetRun : public QObject {
    Q_OBJECT
public:
    /// `session` must outlive the run; `asker` answers the account questions (once per
    /// family). `verifyMs` is how long each camera has to answer at its new address.
    TFleetRun(TSession& session, ICredentialsProvider& asker, const TCheckedPlan& plan,
              int verifyMs = 20000, QObject* parent = nullptr);
    ~TFleetRun() override;

    /// Starts the run; the cameras are sent from the event loop.
    void Start();
    /// Starts no further camera; those already sent are still verified.
    void Cancel();
    bool Running() const { return timer_.isActive(); }
    bool Done() const;

    const std::vector<TFleetCamera>& Cameras() const { return cameras_; }
    /// Cameras whose status is final.
    int FinishedCount() const;
    /// Whether every camera of the plan was verified.
    bool AllVerified() const;

    /// The report as a JSON array: mac, ip (planned), oldIp, family, status, detail.
    std::string ReportJson() const;
    /// The report as CSV with a header line: mac,ip,oldIp,family,status,detail.
    std::string ReportCsv() const;

    /// One step of the run (what the timer calls): verifies, then sends at most one camera.
    void Step();

Q_SIGNALS:
    /// A camera's status changed.
    void CameraChanged(int index);
    /// Every camera has its final status.
    void Finished();

private:
    void Verify();
    bool SendNext();
    void SetStatus(std::size_t index, TFleetStatus status, std::string detail);

    TSession& session_;
    TFleetCredentials credentials_;
    std::unique_ptr<TApplyFlow> flow_;
    std::vector<TFleetCamera> cameras_;
    int verifyMs_;
    bool cancelled_ = false;
    bool finished_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace zadari
