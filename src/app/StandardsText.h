#pragma once
// What the standard discovery protocols said about a device, as the details panel lists it and
// zadari-cli notes it: one labelled line per fact, the page to open, and whether the device
// advertises an address other than the one it answered from.
#include "protocols/DevInfo.h"

#include <QString>

#include <string>
#include <vector>

namespace zadari {

struct TStandardsLine {
    std::string labelKey; ///< IDS_ key of the label
    QString value;
};

/// Manufacturer, model, model number, firmware, serial, hardware, location, UUIDs, service URLs,
/// the protocols it was seen via, and a stale advertised address; lines without a value are
/// left out. None for a record the standard protocols did not find.
std::vector<TStandardsLine> StandardsLines(const TDevInfo& record);

/// The device's own page by the standard protocols: the UPnP presentation URL, "" when none.
QString StandardsPageUrl(const TDevInfo& record);

/// True when the device lists service addresses (XAddrs) and none of them is on `ip`, the
/// address it answered from: it advertises a stale address.
bool XAddrsNameAnotherAddress(const TOnvifInfo& info, const std::string& ip);

/// The hosts the XAddrs name other than `ip`, joined by ", ".
std::string OtherXAddrHosts(const TOnvifInfo& info, const std::string& ip);

} // namespace zadari
