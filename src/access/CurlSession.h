#pragma once
// What every libcurl transfer of the program shares: the one-time library set-up, an easy handle
// that cleans itself up, and the silence watch that stands for the read time-outs (libcurl has
// a connect time-out but none for "no data for so long").
#include <curl/curl.h>

#include <chrono>
#include <cstdint>

namespace zadari {

/// Initialises libcurl once per process, before the first handle, on whichever thread comes first.
void EnsureCurlGlobalInit();

class TCurlEasy {
public:
    TCurlEasy();
    ~TCurlEasy();
    TCurlEasy(const TCurlEasy&) = delete;
    TCurlEasy& operator=(const TCurlEasy&) = delete;

    CURL* Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    CURL* handle_ = nullptr;
};

class TCurlHeaders {
public:
    TCurlHeaders() = default;
    ~TCurlHeaders();
    TCurlHeaders(const TCurlHeaders&) = delete;
    TCurlHeaders& operator=(const TCurlHeaders&) = delete;

    /// False when libcurl could not take the line.
    bool Append(const char* line);
    curl_slist* Get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

/// Ends a transfer when no byte moved either way for `silenceMs` after the connection was made
/// (the connection itself is bounded by CURLOPT_CONNECTTIMEOUT_MS).
class TSilenceWatch {
public:
    using TClock = std::chrono::steady_clock;
    explicit TSilenceWatch(int silenceMs) : silence_(silenceMs) {}

    /// Called from the transfer's progress function; true when the transfer must stop.
    bool Expired(CURL* handle, curl_off_t received, curl_off_t sent);

private:
    std::chrono::milliseconds silence_;
    TClock::time_point last_ = TClock::now();
    curl_off_t received_ = -1;
    curl_off_t sent_ = -1;
};

} // namespace zadari
