#include "access/HttpFetch.h"

#include "access/CurlSession.h"

namespace zadari {

namespace {

struct TSink {
    std::string* body;
    std::size_t maxBytes;
    bool overflow = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<TSink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body->size() + bytes > sink->maxBytes) {
        sink->overflow = true;
        return 0; // ends the transfer
    }
    sink->body->append(data, bytes);
    return bytes;
}

} // namespace

bool FetchHttpDocument(const std::string& url, const TFetchLimits& limits, std::string& body) {
    body.clear();
    if (url.rfind("http://", 0) != 0)
        return false;
    TCurlEasy curl;
    if (!curl)
        return false;
    CURL* h = curl.Get();
    TSink sink{&body, limits.maxBytes};
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    // The device is on our link: a proxy from the environment would take the request elsewhere.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalMs));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "zadari");
    const CURLcode result = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || status != 200 || sink.overflow) {
        body.clear();
        return false;
    }
    return true;
}

} // namespace zadari
