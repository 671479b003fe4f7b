#include "i18n/TextCodec.h"

#include <cerrno>
#include <iconv.h>

namespace zadari {

namespace {

// One iconv descriptor for the length of one conversion; iconv_t is not safe to share between
// threads and opening one costs little next to reading a file.
class TIconv {
public:
    TIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~TIconv() {
        if (Valid())
            iconv_close(m_cd);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

QString DecodeText(std::string_view bytes, const char* encoding) {
    if (bytes.empty())
        return {};
    TIconv cd("UTF-8", encoding);
    if (!cd.Valid())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));

    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
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
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

std::optional<std::string> EncodeText(const QString& text, const char* encoding) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return std::string();
    TIconv cd(encoding, "UTF-8");
    if (!cd.Valid())
        return std::nullopt;
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG)
            return std::nullopt;
    }
    return out;
}

} // namespace zadari
