#include "app/Session.h"

#include "access/OnvifClient.h"
#include "access/SR_517.h"
#include "app/Family9Provider.h"
#include "app/OnvifCarrier.h"
#include "app/SdkFamily.h"
#include "app/StandardsNet.h"
#include "app/StandardsProviders.h"

#include <QNetworkInterface>

#include <exception>

namespace zadari {

namespace {

// Sockets that send nothing: a session given none.
class TSilentSender : public TDatagramSender {
public:
    bool SendTo(TByteView, const std::string&, std::uint16_t) override { return false; }
    void Pause(int) override {}
};

class TNoEndpoints : public TSearchEndpoints {
public:
    bool Open(TReceiveHandler) override { return true; }
    void Close() override {}
    TDatagramSender& Udp(int) override { return sender_; }
    TDatagramSender& MulticastSender() override { return sender_; }

private:
    TSilentSender sender_;
};

int SearchStepOf(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row ? row->searchStep : 0;
}

} // namespace

TSessionSetup TSessionSetup::ForProgram(const QString& programDir, const QString& onlyInterface) {
    TSessionSetup setup;
    setup.onlyInterface = onlyInterface;
    setup.makeEndpoints = [onlyInterface] {
        TSocketEndpoints::TSetup sockets = TSocketEndpoints::DefaultSetup();
        sockets.onlyInterface = onlyInterface;
        return std::make_unique<TSocketEndpoints>(std::move(sockets));
    };
    setup.makeFamily9 = [onlyInterface] {
        TT517Setup client;
        if (!onlyInterface.isEmpty()) {
            client.routes = [onlyInterface] {
                std::vector<TDhRoute> routes = DhBroadcastRoutes();
                const int index = QNetworkInterface::interfaceIndexFromName(onlyInterface);
                std::erase_if(routes, [index](const TDhRoute& route) {
                    return index <= 0 || route.interfaceIndex != index;
                });
                return routes;
            };
        }
        return std::make_unique<TT517Series>(std::move(client));
    };
    if (onlyInterface.isEmpty())
        setup.vendorLibraryDir = programDir;
    setup.makeStandardsNet = [onlyInterface] { return MakeSystemStandardsNet(onlyInterface); };
    setup.makeOnvifTransport = [] { return std::make_unique<TCurlOnvifTransport>(); };
    return setup;
}

TSession::TSession(TSessionSetup setup, ICredentialsProvider& credentials)
    : setup_(std::move(setup)) {
    endpoints_ = setup_.makeEndpoints ? setup_.makeEndpoints() : nullptr;
    if (!endpoints_)
        endpoints_ = std::make_unique<TNoEndpoints>();
    engine_ = std::make_unique<TSearchEngine>(list_, *endpoints_, setup_.engine);
    if (setup_.makeFamily9)
        family9_ = setup_.makeFamily9();
    if (family9_) {
        family9Provider_ =
            std::make_unique<TFamily9Provider>(*family9_, engine_->Targets().family9Port);
        engine_->AddProvider(*family9Provider_, SearchStepOf(kFamilyDh));
    }
    if (!setup_.vendorLibraryDir.isEmpty()) {
        sdk_ = std::make_unique<TSdkFamily>(setup_.vendorLibraryDir);
        engine_->AddProvider(*sdk_, SearchStepOf(kFamilySdk));
    }
    if (setup_.makeOnvifTransport) {
        if (std::unique_ptr<IOnvifTransport> transport = setup_.makeOnvifTransport())
            onvif_ = std::make_unique<TOnvifCarrier>(std::move(transport));
    }
    if (setup_.makeStandardsNet)
        standardsNet_ = setup_.makeStandardsNet();
    if (standardsNet_) {
        const TStandardsPacing pacing;
        AddProvider(std::make_unique<TWsdProvider>(*standardsNet_, pacing),
                    SearchStepOf(kFamilyOnvif));
        AddProvider(std::make_unique<TSsdpProvider>(*standardsNet_, pacing),
                    SearchStepOf(kFamilyUpnp));
        AddProvider(std::make_unique<TMdnsProvider>(*standardsNet_, pacing),
                    SearchStepOf(kFamilyMdns));
    }
    applyFlow_ = MakeApplyFlow(credentials);
}

std::unique_ptr<TApplyFlow> TSession::MakeApplyFlow(ICredentialsProvider& credentials) {
    auto flow = std::make_unique<TApplyFlow>(*engine_, credentials);
    flow->SetCarrier(TCommandCarrier::kFamily9Client, family9Provider_.get());
    flow->SetCarrier(TCommandCarrier::kVendorLibrary, sdk_.get());
    flow->SetCarrier(TCommandCarrier::kOnvifClient, onvif_.get());
    return flow;
}

TSession::~TSession() {
    Stop();
}

bool TSession::Start() {
    return engine_->Start();
}

void TSession::Stop() {
    if (stopped_)
        return;
    stopped_ = true;
    try {
        engine_->Stop();
    } catch (const std::exception&) {
    }
}

void TSession::AddProvider(std::unique_ptr<IDiscoveryProvider> provider, int step) {
    engine_->AddProvider(*provider, step);
    providers_.push_back(std::move(provider));
}

bool TSession::VendorLibraryLoaded() const {
    return sdk_ && sdk_->IsLoaded();
}

} // namespace zadari
