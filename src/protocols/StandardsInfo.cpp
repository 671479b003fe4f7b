#include "protocols/StandardsInfo.h"

#include "protocols/DevInfo.h"

namespace zadari {

TStandardsRef::TStandardsRef(TStandardsInfo info)
    : info_(std::make_shared<TStandardsInfo>(std::move(info))) {}

const TStandardsInfo& TStandardsRef::Get() const {
    static const TStandardsInfo kNone;
    return info_ ? *info_ : kNone;
}

TStandardsInfo& TStandardsRef::Edit() {
    if (!info_)
        info_ = std::make_shared<TStandardsInfo>();
    else if (info_.use_count() > 1)
        info_ = std::make_shared<TStandardsInfo>(*info_);
    return *info_;
}

bool TStandardsRef::operator==(const TStandardsRef& other) const {
    return info_ == other.info_ || Get() == other.Get();
}

std::int32_t StandardsFamily(const TStandardsInfo& info) {
    if (info.onvif)
        return kFamilyOnvif;
    if (info.upnp)
        return kFamilyUpnp;
    if (info.mdns)
        return kFamilyMdns;
    return kFamilyNone;
}

std::string StandardsName(const TStandardsInfo& info) {
    if (info.onvif && !info.onvif->name.empty())
        return info.onvif->name;
    if (info.upnp && !info.upnp->friendlyName.empty())
        return info.upnp->friendlyName;
    if (info.mdns && !info.mdns->instance.empty())
        return info.mdns->instance;
    return {};
}

namespace {

template <typename T> bool TakeOver(std::optional<T>& into, const std::optional<T>& from) {
    if (!from || into == from)
        return false;
    into = from;
    return true;
}

} // namespace

bool MergeStandards(TStandardsInfo& into, const TStandardsInfo& from) {
    bool changed = TakeOver(into.onvif, from.onvif);
    changed = TakeOver(into.upnp, from.upnp) || changed;
    changed = TakeOver(into.mdns, from.mdns) || changed;
    return changed;
}

bool DropStandard(TStandardsInfo& info, std::int32_t family) {
    const auto drop = [](auto& part) {
        const bool had = part.has_value();
        part.reset();
        return had;
    };
    switch (family) {
    case kFamilyOnvif:
        return drop(info.onvif);
    case kFamilyUpnp:
        return drop(info.upnp);
    case kFamilyMdns:
        return drop(info.mdns);
    default:
        return false;
    }
}

} // namespace zadari
