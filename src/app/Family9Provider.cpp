#include "app/Family9Provider.h"

#include "access/SR_517.h"

namespace zadari {

TFamily9Provider::TFamily9Provider(IT517Series& client, std::uint16_t port)
    : client_(client), port_(port), sink_(std::make_shared<IDeviceSink*>(nullptr)) {}

TFamily9Provider::~TFamily9Provider() {
    Stop();
}

bool TFamily9Provider::Start(IDeviceSink& sink) {
    *sink_ = &sink;
    return true;
}

void TFamily9Provider::Stop() {
    *sink_ = nullptr;
    client_.StopSearch();
}

bool TFamily9Provider::Search(const TSearchCycle&) {
    client_.Search(port_, [sink = sink_](const TDevInfo& record) {
        if (*sink != nullptr)
            (*sink)->MergeFound(record);
    });
    return true;
}

bool TFamily9Provider::SendSettings(const TCredentials& account, const TDevInfo&,
                                    const TDevInfo& edited) {
    return client_.SetNetParams(account.user, account.password, edited);
}

} // namespace zadari
