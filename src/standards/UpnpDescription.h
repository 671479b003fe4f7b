#pragma once
// The UPnP device description a LOCATION points to: the root device's identity and its
// presentation page.
#include "protocols/StandardsInfo.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zadari {

/// A longer description is not read (nor fetched past this size).
inline constexpr std::size_t kUpnpDescriptionMax = 128 * 1024;

/// Fills the description fields of `info` (friendlyName, manufacturer, modelName, modelNumber,
/// serialNumber, UDN, deviceType and presentationURL) from the root device of `xml`, leaving the
/// SSDP fields alone. The presentation URL is resolved against URLBase, else against `location`,
/// and kept only when it is an http or https URL. False, with `info` unchanged, for a document
/// that is not a device description, is longer than kUpnpDescriptionMax, is malformed or has a
/// document type declaration.
bool ParseUpnpDescription(std::string_view xml, std::string_view location, TUpnpInfo& info);

/// `reference` resolved against `base` when the result is an http or https URL, else "".
std::string ResolvedHttpUrl(std::string_view base, std::string_view reference);

/// The host of an http(s) URL ("" when `url` is not one), brackets and port removed.
std::string HttpUrlHost(std::string_view url);

} // namespace zadari
