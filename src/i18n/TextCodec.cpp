#include "i18n/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <string>
#include <vector>

namespace zadari {

namespace {

// iconv descriptors of this thread, one per direction and encoding. A descriptor must not be
// shared between threads, and opening one for every value would cost more than the decoding.
class TIconvCache {
public:
    ~TIconvCache() {
        for (TEntry& e : m_entries)
            iconv_close(e.cd);
    }
    iconv_t Get(const char* to, const char* from) {
        for (TEntry& e : m_entries) {
            if (e.to == to && e.from == from) {
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
                return e.cd;
            }
        }
        const iconv_t cd = iconv_open(to, from);
        if (cd == kInvalid)
            return cd;
        if (m_entries.size() >= kMaxEntries) {
            iconv_close(m_entries.front().cd);
            m_entries.erase(m_entries.begin());
        }
        m_entries.push_back(TEntry{to, from, cd});
        return cd;
    }

    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

private:
    struct TEntry {
        std::string to, from;
        iconv_t cd;
    };
    static constexpr std::size_t kMaxEntries = 16;
    std::vector<TEntry> m_entries;
};

iconv_t Descriptor(const char* to, const char* from) {
    thread_local TIconvCache cache;
    return cache.Get(to, from);
}

} // namespace

QString DecodeText(std::string_view bytes, const char* encoding) {
    if (bytes.empty())
        return {};
    const iconv_t cd = Descriptor("UTF-8", encoding);
    if (cd == TIconvCache::kInvalid)
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));

    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (errno == EINVAL) // a sequence cut off at the end (a value cut at its length limit)
            break;
        // EILSEQ or anything unexpected: mark the byte and go on after it.
        out.append("\xEF\xBF\xBD");
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

std::optional<std::string> EncodeText(const QString& text, const char* encoding) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return std::string();
    const iconv_t cd = Descriptor(encoding, "UTF-8");
    if (cd == TIconvCache::kInvalid)
        return std::nullopt;
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG)
            return std::nullopt;
    }
    return out;
}

} // namespace zadari
