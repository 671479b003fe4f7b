#include "app/SdkFamily.h"

namespace zadari {

TSdkFamily::TSdkFamily(const QString& programDir)
    : forwarder_([this](const TDevInfo& record) {
          if (sink_ != nullptr)
              sink_->MergeFound(record);
      }),
      finder_(programDir) {
    finder_.SetFoundHandler(
        [this](const TDevInfo& record) { forwarder_.ForwardDeviceToWindow(record); });
}

TSdkFamily::~TSdkFamily() {
    Stop();
}

bool TSdkFamily::Start(IDeviceSink& sink) {
    sink_ = &sink;
    return true;
}

void TSdkFamily::Stop() {
    forwarder_.Close();
    sink_ = nullptr;
}

bool TSdkFamily::Search(const TSearchCycle& cycle) {
    if (cycle.find)
        finder_.StartSearch();
    return true;
}

bool TSdkFamily::SendSettings(const TCredentials&, const TDevInfo&, const TDevInfo& edited) {
    return finder_.ConfigDevice(edited);
}

} // namespace zadari
