#include "access/HttpUpload.h"

#include "access/CurlSession.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zadari {

namespace {

class TFileReader {
public:
    explicit TFileReader(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFileReader() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

struct TUploadState {
    const TFileUploadRequest* request = nullptr;
    int fd = -1;
    std::int64_t headSent = 0;
    std::int64_t fileSent = 0;
    std::int64_t tailSent = 0;
    bool fileFailed = false;
    bool cancelled = false;
    bool hasLocation = false;
    const TUploadProgress* progress = nullptr;
    TSilenceWatch silence;
    CURL* handle = nullptr;
};

size_t CopyPiece(const std::string& piece, std::int64_t& sent, char* buffer, size_t room) {
    const auto left = static_cast<std::int64_t>(piece.size()) - sent;
    const auto n =
        static_cast<size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(room)));
    std::memcpy(buffer, piece.data() + sent, n);
    sent += static_cast<std::int64_t>(n);
    return n;
}

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
    auto* s = static_cast<TUploadState*>(user);
    const size_t room = size * count;
    size_t filled = 0;
    const TFileUploadRequest& r = *s->request;
    if (s->headSent < static_cast<std::int64_t>(r.bodyHead.size()))
        filled += CopyPiece(r.bodyHead, s->headSent, buffer, room);
    while (filled < room && s->fileSent < r.fileSize) {
        const auto want = static_cast<size_t>(std::min<std::int64_t>(
            r.fileSize - s->fileSent, static_cast<std::int64_t>(room - filled)));
        const ssize_t got = ::read(s->fd, buffer + filled, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // The file shrank or broke under us: sending less than announced would leave the
            // device waiting, padding would hand it a corrupt image.
            s->fileFailed = true;
            return CURL_READFUNC_ABORT;
        }
        filled += static_cast<size_t>(got);
        s->fileSent += got;
    }
    if (filled < room && s->fileSent >= r.fileSize)
        filled += CopyPiece(r.bodyTail, s->tailSent, buffer + filled, room - filled);
    return filled;
}

size_t DropBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t NoteHeader(char* line, size_t size, size_t count, void* user) {
    auto* s = static_cast<TUploadState*>(user);
    const size_t n = size * count;
    if (n >= 5 && std::memcmp(line, "HTTP/", 5) == 0)
        s->hasLocation = false; // a new answer starts (an interim 100 came before)
    else if (n >= 9 && ::strncasecmp(line, "Location:", 9) == 0)
        s->hasLocation = true;
    return n;
}

int WatchUpload(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* s = static_cast<TUploadState*>(user);
    if (s->progress != nullptr && *s->progress &&
        !(*s->progress)(static_cast<std::int64_t>(sent), s->request->BodySize())) {
        s->cancelled = true;
        return 1;
    }
    return s->silence.Expired(s->handle, received, sent) ? 1 : 0;
}

} // namespace

std::int64_t FileSizeOf(const std::string& filePath) {
    struct stat st {};
    if (::stat(filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

TUploadAnswer UploadFileRequest(const TFileUploadRequest& request,
                                const TUploadProgress& progress) {
    TUploadAnswer answer;
    TFileReader file(request.filePath);
    if (file.Fd() < 0)
        return answer;
    TCurlEasy curl;
    if (!curl)
        return answer;
    CURL* h = curl.Get();

    TCurlHeaders headers;
    for (const std::string& line : request.headers) {
        if (!headers.Append(line.c_str()))
            return answer;
    }
    // libcurl's own lines would come before ours or add to them; an empty value removes each.
    for (const char* own : {"Accept:", "Expect:", "User-Agent:", "Host:", "Content-Type:",
                            "Content-Length:", "Transfer-Encoding:"}) {
        bool given = false;
        for (const std::string& line : request.headers)
            given = given || ::strncasecmp(line.c_str(), own, std::strlen(own)) == 0;
        if (!given && !headers.Append(own))
            return answer;
    }

    TUploadState state{
        &request, file.Fd(), 0,     0,         0,
        false,    false,     false, &progress, TSilenceWatch(request.silenceTimeoutMs),
        h};
    const std::string url = "http://" + request.host + ":" + std::to_string(request.port) + "/";
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_REQUEST_TARGET, request.target.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.BodySize()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &ReadBody);
    curl_easy_setopt(h, CURLOPT_READDATA, &state);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &NoteHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DropBody);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &WatchUpload);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024L);
    if (request.acceptCookies)
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");

    const CURLcode result = curl_easy_perform(h);
    answer.cancelled = state.cancelled;
    if (result != CURLE_OK || state.fileFailed)
        return answer;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.answered = true;
    answer.status = status;
    answer.hasLocation = state.hasLocation;
    if (progress)
        progress(request.BodySize(), request.BodySize());
    return answer;
}

} // namespace zadari
