#pragma once
// One bounded HTTP GET of a document a device points to (a UPnP description): plain http only,
// no proxy, no redirect (a redirect could lead to another host), a size cap and a time cap.
// Blocking: callers run it off the main thread.
#include <cstddef>
#include <string>

namespace zadari {

struct TFetchLimits {
    std::size_t maxBytes = 128 * 1024;
    int connectMs = 2000;
    int totalMs = 4000;
};

/// GETs `url` into `body`. False for a URL that is not http, a failed or refused connection, a
/// status other than 200, a body over the cap (the transfer stops there) or a time-out.
bool FetchHttpDocument(const std::string& url, const TFetchLimits& limits, std::string& body);

} // namespace zadari
