// Firmware upload throughput: 32 MiB to a loopback sink, by our upload client and, in the same
// run, by the curl command-line tool (a multipart -F upload of the same file), so the two
// figures compare on the same machine and load.
#include "access/HttpUpload.h"
#include "access/UploadBody.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::int64_t kFileSize = 32 * 1024 * 1024;

// Accepts connections one after another, reads each request to the end of its body and answers
// 200. Answers an "Expect: 100-continue" first, as a camera's web server does.
class TSinkServer {
public:
    TSinkServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TSinkServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }

private:
    void Serve() {
        std::vector<char> buffer(1 << 20);
        while (!stop_) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0)
                return;
            std::string head;
            std::size_t end = std::string::npos;
            long long bodyHave = 0;
            while (end == std::string::npos) {
                const ssize_t n = ::recv(c, buffer.data(), buffer.size(), 0);
                if (n <= 0)
                    break;
                head.append(buffer.data(), static_cast<std::size_t>(n));
                end = head.find("\r\n\r\n");
            }
            if (end != std::string::npos) {
                bodyHave = static_cast<long long>(head.size() - end - 4);
                long long length = 0;
                const auto at = head.find("Content-Length: ");
                if (at != std::string::npos && at < end)
                    length = std::atoll(head.c_str() + at + 16);
                if (head.find("Expect: 100-continue") < end)
                    ::send(c, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
                while (bodyHave < length) {
                    const ssize_t n = ::recv(c, buffer.data(), buffer.size(), 0);
                    if (n <= 0)
                        break;
                    bodyHave += n;
                }
                const char answer[] =
                    "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                ::send(c, answer, sizeof answer - 1, MSG_NOSIGNAL);
            }
            ::close(c);
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

const std::string& FirmwareFile() {
    static const std::string path = [] {
        char name[] = "/tmp/zadari-bench-upload-XXXXXX";
        const int fd = ::mkstemp(name);
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 31);
        for (std::int64_t left = kFileSize; left > 0; left -= std::int64_t(block.size()))
            (void)!::write(fd, block.data(), block.size());
        ::close(fd);
        std::atexit([] { ::unlink(FirmwareFile().c_str()); });
        return std::string(name);
    }();
    return path;
}

TSinkServer& Sink() {
    static TSinkServer sink;
    return sink;
}

void BM_Upload32MiB_Zadari(benchmark::State& state) {
    const std::string& path = FirmwareFile();
    const std::string boundary = zadari::MultipartBoundary(zadari::LocalBoundaryTime());
    zadari::TFileUploadRequest request;
    request.host = "127.0.0.1";
    request.port = Sink().Port();
    request.target = "/upgrade_firmware.cgi?user=admin&pwd=&next_url=reboot.htm";
    request.filePath = path;
    request.fileSize = kFileSize;
    request.bodyHead =
        zadari::MultipartPartHead(boundary, "file", path, "application/octet-stream");
    request.bodyTail = zadari::MultipartTail(boundary);
    request.headers = {"Content-Type: multipart/form-data; boundary=" + boundary,
                       "Content-Length: " + std::to_string(request.BodySize()),
                       "Host: 127.0.0.1:" + std::to_string(request.port), "Accept: text/html, */*",
                       "User-Agent: Mozilla/3.0 (compatible; Indy Library)"};
    for (auto _ : state) {
        const zadari::TUploadAnswer answer = zadari::UploadFileRequest(request);
        if (!answer.answered || answer.status != 200)
            state.SkipWithError("upload failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_Upload32MiB_Zadari)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_Upload32MiB_CurlCommandLine(benchmark::State& state) {
    const std::string command =
        "curl -s -o /dev/null --noproxy '*' -F 'file=@" + FirmwareFile() +
        ";type=application/octet-stream' http://127.0.0.1:" + std::to_string(Sink().Port()) +
        "/upgrade_firmware.cgi";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("curl failed (is the curl tool installed?)");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_Upload32MiB_CurlCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
