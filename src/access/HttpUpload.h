#pragma once
// One HTTP/1.1 POST that streams a file between a prepared head and tail, with the request's
// header lines exactly as the caller gives them, in their order, and nothing added. Blocking: run
// it on a worker thread when a window must stay alive meanwhile.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zadari {

/// Progress of an upload: body bytes sent of the body's total. Return false to cancel.
using TUploadProgress = std::function<bool(std::int64_t sent, std::int64_t total)>;

struct TFileUploadRequest {
    std::string host; ///< where to connect (dotted address or name)
    std::uint16_t port = 80;
    std::string target; ///< sent after "POST " as it is (see SafeRequestTarget)
    /// Header lines in their order, without line ends; they must include Host and
    /// Content-Length (BodySize()).
    std::vector<std::string> headers;
    std::string bodyHead;      ///< what comes before the file's bytes
    std::string filePath;      ///< local path in the file system's encoding
    std::int64_t fileSize = 0; ///< exactly this many bytes of the file are sent
    std::string bodyTail;      ///< what comes after them
    int connectTimeoutMs = 60000;
    int silenceTimeoutMs = 60000; ///< no byte moving either way for this long ends the upload

    std::int64_t BodySize() const {
        return static_cast<std::int64_t>(bodyHead.size()) + fileSize +
               static_cast<std::int64_t>(bodyTail.size());
    }
};

struct TUploadAnswer {
    bool answered = false;    ///< the whole body went out and a final answer came back
    long status = 0;          ///< the final status (interim 1xx answers are skipped)
    bool hasLocation = false; ///< the final answer carried a Location header
    bool cancelled = false;
};

/// Sends the request; redirects are never followed and no credentials are ever added. The
/// answer's body is read to its end and dropped. A file that cannot be opened, or that is shorter
/// than fileSize by the time it is read, fails the upload.
TUploadAnswer UploadFileRequest(const TFileUploadRequest& request,
                                const TUploadProgress& progress = {});

/// The size of a regular file, or -1 when it cannot be read.
std::int64_t FileSizeOf(const std::string& filePath);

} // namespace zadari
