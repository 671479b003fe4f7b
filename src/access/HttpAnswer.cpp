#include "access/HttpAnswer.h"

#include <algorithm>

namespace zadari {

namespace {

constexpr std::size_t kMaxLine = 4096;
constexpr std::uint64_t kMaxLength = std::uint64_t{1} << 48;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool ParseDecimal(std::string_view s, std::uint64_t& value) {
    if (s.empty())
        return false;
    value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9' || value > kMaxLength)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= kMaxLength;
}

bool ParseHex(std::string_view s, std::uint64_t& value) {
    s = Trim(s.substr(0, s.find(';'))); // chunk extensions are ignored
    if (s.empty())
        return false;
    value = 0;
    for (const char c : s) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || value > kMaxLength)
            return false;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value <= kMaxLength;
}

} // namespace

bool THttpAnswerReader::TakeLine(std::string_view& bytes, std::string& line) {
    const auto lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
        pending_.append(bytes);
        bytes = {};
        return false;
    }
    pending_.append(bytes.substr(0, lf));
    bytes.remove_prefix(lf + 1);
    line.swap(pending_);
    pending_.clear();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

THttpAnswerReader::TState THttpAnswerReader::ParseHead(std::string_view head) {
    // Status line: HTTP/1.x SP 3DIGIT [SP reason]
    const auto eol = head.find('\n');
    const std::string_view statusLine = Trim(head.substr(0, eol));
    if (statusLine.size() < 12 || statusLine.substr(0, 5) != "HTTP/" || statusLine[8] != ' ')
        return Fail();
    int status = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (statusLine[i] < '0' || statusLine[i] > '9')
            return Fail();
        status = status * 10 + (statusLine[i] - '0');
    }
    if (statusLine.size() > 12 && statusLine[12] != ' ')
        return Fail();
    if (status < 100)
        return Fail();
    if (status < 200) {
        phase_ = TPhase::Head; // interim answer: the real one follows
        return state_;
    }
    status_ = status;
    hasLocation_ = false;
    bool chunked = false;
    bool haveLength = false;
    std::uint64_t length = 0;
    std::string_view rest =
        eol == std::string_view::npos ? std::string_view{} : head.substr(eol + 1);
    while (!rest.empty()) {
        const auto next = rest.find('\n');
        const std::string_view line = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
        if (Trim(line).empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return Fail();
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (SameName(name, "Location")) {
            hasLocation_ = true;
        } else if (SameName(name, "Content-Length")) {
            std::uint64_t n = 0;
            if (!ParseDecimal(value, n) || (haveLength && n != length))
                return Fail();
            haveLength = true;
            length = n;
        } else if (SameName(name, "Transfer-Encoding")) {
            std::string lower(value);
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
            chunked = lower.find("chunked") != std::string::npos;
        }
    }
    if (status == 204 || status == 304)
        phase_ = TPhase::Done;
    else if (chunked)
        phase_ = TPhase::ChunkSize;
    else if (haveLength)
        phase_ = length == 0 ? TPhase::Done : TPhase::Length;
    else
        phase_ = TPhase::ToClose;
    left_ = length;
    if (phase_ == TPhase::Done)
        state_ = TState::Complete;
    return state_;
}

THttpAnswerReader::TState THttpAnswerReader::Feed(std::string_view bytes) {
    while (state_ == TState::NeedMore && !bytes.empty()) {
        switch (phase_) {
        case TPhase::Head: {
            // Gather up to the empty line that ends the head.
            const std::size_t before = pending_.size();
            pending_.append(bytes);
            std::size_t end = std::string::npos;
            std::size_t skip = 0;
            const std::size_t from = before >= 3 ? before - 3 : 0;
            for (std::size_t i = from; i < pending_.size(); ++i) {
                if (pending_[i] != '\n')
                    continue;
                if (i + 1 < pending_.size() && pending_[i + 1] == '\n') {
                    end = i + 1;
                    skip = 1;
                    break;
                }
                if (i + 2 < pending_.size() && pending_[i + 1] == '\r' && pending_[i + 2] == '\n') {
                    end = i + 1;
                    skip = 2;
                    break;
                }
            }
            if (end == std::string::npos) {
                if (pending_.size() > kMaxHead)
                    return Fail();
                bytes = {};
                break;
            }
            if (end > kMaxHead)
                return Fail();
            const std::string head = pending_.substr(0, end);
            const std::size_t used = end + skip - before; // bytes of this feed used by the head
            bytes.remove_prefix(std::min(used, bytes.size()));
            pending_.clear();
            if (ParseHead(head) == TState::Malformed)
                return state_;
            break;
        }
        case TPhase::Length:
        case TPhase::ChunkData: {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, bytes.size()));
            bytes.remove_prefix(n);
            left_ -= n;
            if (left_ == 0) {
                if (phase_ == TPhase::Length) {
                    phase_ = TPhase::Done;
                    state_ = TState::Complete;
                } else {
                    phase_ = TPhase::ChunkDataEnd;
                }
            }
            break;
        }
        case TPhase::ChunkSize: {
            std::string line;
            if (!TakeLine(bytes, line)) {
                if (pending_.size() > kMaxLine)
                    return Fail();
                break;
            }
            std::uint64_t size = 0;
            if (!ParseHex(line, size))
                return Fail();
            left_ = size;
            phase_ = size == 0 ? TPhase::Trailer : TPhase::ChunkData;
            break;
        }
        case TPhase::ChunkDataEnd: {
            std::string line;
            if (!TakeLine(bytes, line)) {
                if (pending_.size() > kMaxLine)
                    return Fail();
                break;
            }
            if (!line.empty())
                return Fail();
            phase_ = TPhase::ChunkSize;
            break;
        }
        case TPhase::Trailer: {
            std::string line;
            if (!TakeLine(bytes, line)) {
                if (pending_.size() > kMaxLine)
                    return Fail();
                break;
            }
            if (line.empty()) {
                phase_ = TPhase::Done;
                state_ = TState::Complete;
            }
            break;
        }
        case TPhase::ToClose:
            bytes = {};
            break;
        case TPhase::Done:
            state_ = TState::Complete;
            break;
        }
    }
    return state_;
}

THttpAnswerReader::TState THttpAnswerReader::Close() {
    if (state_ != TState::NeedMore)
        return state_;
    if (phase_ == TPhase::ToClose) {
        phase_ = TPhase::Done;
        return state_ = TState::Complete;
    }
    return Fail(); // cut short: no answer, or a body that did not arrive whole
}

} // namespace zadari
