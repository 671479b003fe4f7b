#include "access/CurlSession.h"

#include <mutex>

namespace zadari {

void EnsureCurlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TCurlEasy::TCurlEasy() {
    EnsureCurlGlobalInit();
    handle_ = curl_easy_init();
    if (handle_ != nullptr) {
        // Time-outs must not raise SIGALRM in a multi-threaded program.
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    }
}

TCurlEasy::~TCurlEasy() {
    if (handle_ != nullptr)
        curl_easy_cleanup(handle_);
}

TCurlHeaders::~TCurlHeaders() {
    curl_slist_free_all(list_);
}

bool TCurlHeaders::Append(const char* line) {
    curl_slist* grown = curl_slist_append(list_, line);
    if (grown == nullptr)
        return false;
    list_ = grown;
    return true;
}

bool TSilenceWatch::Expired(CURL* handle, curl_off_t received, curl_off_t sent) {
    const auto now = TClock::now();
    curl_off_t connectTime = 0;
    const bool connected =
        curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
        connectTime > 0;
    if (!connected || received != received_ || sent != sent_) {
        received_ = received;
        sent_ = sent;
        last_ = now;
        return false;
    }
    return now - last_ > silence_;
}

} // namespace zadari
