#pragma once
// The pieces of the multipart/form-data uploads both upgrade paths send: the boundary, the one
// part's head and the closing line, and the request-target text. Plain C++ so tests can check
// every byte.
#include <string>
#include <string_view>

namespace zadari {

/// Local date and time as the boundary carries them.
struct TBoundaryTime {
    int year = 0; ///< full year, 2013
    int month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

/// The current local time, to the millisecond.
TBoundaryTime LocalBoundaryTime();

/// "--------" then month, day, two-digit year, hour, minute, second (two digits each) and
/// milliseconds (three): 8 Dec 2013 14:15:23.456 gives "--------120813141523456".
std::string MultipartBoundary(const TBoundaryTime& time);

/// The file name parameter of a part: the path, except that a double quote, CR and LF, which
/// would end the quoted parameter or the header line, are written %22, %0D and %0A (as web
/// browsers do).
std::string SafeFormFileName(std::string_view path);

/// "--" boundary CRLF, Content-Transfer-Encoding, Content-Disposition with the field and file
/// names, Content-Type, empty line. `fileName` goes in as given (pass it through
/// SafeFormFileName).
std::string MultipartPartHead(std::string_view boundary, std::string_view fieldName,
                              std::string_view fileName, std::string_view contentType);

/// CRLF "--" boundary "--" CRLF: what follows the file's bytes.
std::string MultipartTail(std::string_view boundary);

/// The parts of an "http://host[:port][/path?query]" address. False for anything else.
struct THttpAddress {
    std::string host;
    unsigned port = 80;
    std::string target = "/"; ///< path and query as written
};
bool ParseHttpUrl(std::string_view url, THttpAddress& address);

/// "host", or "host:port" when the port is not 80: the Host header of a request.
std::string HostHeaderValue(std::string_view host, unsigned port);

/// A path and query for the request line (or a whole address for an HTTP GET), taken as it is
/// (a "&" or "+" in an account stays as typed), except that bytes that would break the request
/// line (controls, space, DEL) are percent-encoded, and "#", which would end the query, is
/// written %23.
std::string SafeRequestTarget(std::string_view target);

} // namespace zadari
