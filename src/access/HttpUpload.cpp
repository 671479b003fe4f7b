#include "access/HttpUpload.h"

#include "access/HttpAnswer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// The uploads speak HTTP over a plain socket of their own: the cameras' CGIs are picky about the
// request's exact head (line order included), which libcurl rearranges (it puts Host first).

namespace zadari {

namespace {

using TClock = std::chrono::steady_clock;

class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Polls in short slices so that a cancel is seen quickly; the silence clock restarts whenever a
// byte moves.
class TExchange {
public:
    TExchange(int fd, const TFileUploadRequest& request, const TUploadProgress& progress,
              std::int64_t headSize)
        : fd_(fd), request_(request), progress_(&progress), total_(request.BodySize()),
          sentBody_(-headSize) {}

    bool cancelled = false;

    bool Connect(const sockaddr* address, socklen_t length) {
        if (::connect(fd_, address, length) == 0)
            return true;
        if (errno != EINPROGRESS)
            return false;
        const auto deadline = TClock::now() + std::chrono::milliseconds(request_.connectTimeoutMs);
        for (;;) {
            if (!StillWanted())
                return false;
            const auto now = TClock::now();
            if (now >= deadline)
                return false;
            const int slice = SliceUntil(deadline);
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, slice);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready > 0) {
                int error = 0;
                socklen_t len = sizeof error;
                return ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
            }
        }
    }

    /// Sends every byte of `data`; reads (and keeps) what the camera says meanwhile.
    bool Send(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                sentBody_ += n;
                Moved();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            if (!WaitFor(POLLOUT))
                return false;
        }
        return true;
    }

    /// Body bytes sent so far (the request's head does not count).
    std::int64_t SentBody() const { return std::max<std::int64_t>(sentBody_, 0); }

    /// Reads until the answer is complete (or broken, or silent for too long).
    bool ReadAnswer() {
        char buffer[16384];
        while (answer_.State() == THttpAnswerReader::TState::NeedMore) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                Moved();
                answer_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
                continue;
            }
            if (n == 0) {
                answer_.Close();
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            if (!WaitFor(POLLIN))
                return false;
        }
        return answer_.State() == THttpAnswerReader::TState::Complete;
    }

    const THttpAnswerReader& Answer() const { return answer_; }

private:
    bool StillWanted() {
        if (*progress_ && !(*progress_)(SentBody(), total_)) {
            cancelled = true;
            return false;
        }
        return true;
    }

    void Moved() { lastMove_ = TClock::now(); }

    static int SliceUntil(TClock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 100));
    }

    // Waits for `events`; answer bytes that arrive while we still send are taken in, so a camera
    // that answers early (and stops reading) is heard.
    bool WaitFor(short events) {
        for (;;) {
            if (!StillWanted())
                return false;
            const auto deadline = lastMove_ + std::chrono::milliseconds(request_.silenceTimeoutMs);
            if (TClock::now() >= deadline)
                return false;
            pollfd p{fd_, static_cast<short>(events | POLLIN), 0};
            const int ready = ::poll(&p, 1, SliceUntil(deadline));
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            if ((p.revents & events) != 0)
                return true;
            if ((p.revents & POLLIN) != 0 && events == POLLOUT) {
                char buffer[4096];
                const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return false; // closed or broken while we still had bytes to send
                Moved();
                answer_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
                continue;
            }
            if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return false;
        }
    }

    int fd_;
    const TFileUploadRequest& request_;
    const TUploadProgress* progress_;
    std::int64_t total_;
    std::int64_t sentBody_;
    TClock::time_point lastMove_ = TClock::now();
    THttpAnswerReader answer_;
};

std::string RequestHead(const TFileUploadRequest& r) {
    std::string head = "POST " + r.target + " HTTP/1.1\r\n";
    for (const std::string& line : r.headers)
        head.append(line).append("\r\n");
    head.append("\r\n");
    return head;
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
    TFd file(::open(request.filePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return answer;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(request.port);
    if (::getaddrinfo(request.host.c_str(), service.c_str(), &hints, &found) != 0 ||
        found == nullptr)
        return answer;
    sockaddr_storage address{};
    const socklen_t addressLength = found->ai_addrlen;
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(addressLength, sizeof address));
    ::freeaddrinfo(found);

    TFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0)
        return answer;
    const std::string head = RequestHead(request);
    TExchange exchange(socket.Get(), request, progress, static_cast<std::int64_t>(head.size()));
    if (!exchange.Connect(reinterpret_cast<const sockaddr*>(&address), addressLength)) {
        answer.cancelled = exchange.cancelled;
        return answer;
    }

    // The request's head and the part's head go out in one write.
    const std::string first = head + request.bodyHead;
    bool ok = exchange.Send(first.data(), first.size());
    std::vector<char> buffer(256 * 1024);
    std::int64_t fileLeft = request.fileSize;
    auto lastReport = TClock::now();
    while (ok && fileLeft > 0) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(fileLeft, std::int64_t(buffer.size())));
        const ssize_t got = ::read(file.Get(), buffer.data(), want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // The file shrank or broke under us: sending less than announced would leave the
            // camera waiting, padding would hand it a corrupt image.
            ok = false;
            break;
        }
        ok = exchange.Send(buffer.data(), static_cast<std::size_t>(got));
        fileLeft -= got;
        const auto now = TClock::now();
        if (ok && progress && now - lastReport >= std::chrono::milliseconds(20)) {
            lastReport = now;
            if (!progress(exchange.SentBody(), request.BodySize())) {
                exchange.cancelled = true;
                ok = false;
            }
        }
    }
    ok = ok && exchange.Send(request.bodyTail.data(), request.bodyTail.size());
    ok = ok && exchange.ReadAnswer();
    answer.cancelled = exchange.cancelled;
    if (!ok)
        return answer;
    answer.answered = true;
    answer.status = exchange.Answer().Status();
    answer.hasLocation = exchange.Answer().HasLocation();
    if (progress)
        progress(request.BodySize(), request.BodySize());
    return answer;
}

} // namespace zadari
