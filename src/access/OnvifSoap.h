#pragma once
// SOAP 1.2 for the ONVIF device management service: the namespaces, the request envelope with its
// WS-Security UsernameToken (PasswordDigest), and a hardened reader that turns an answer into a
// small element tree or a fault. Answers come from devices on the network: the reader caps their
// size, depth and element count, refuses DTDs and entity references, and gives a defined result
// for anything malformed.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QXmlStreamWriter;

namespace zadari {

namespace OnvifNs {
inline constexpr char kSoapEnvelope[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char kSoap11Envelope[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kDevice[] = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr char kSchema[] = "http://www.onvif.org/ver10/schema";
inline constexpr char kError[] = "http://www.onvif.org/ver10/error";
inline constexpr char kWsse[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr char kWsu[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr char kPasswordDigest[] = "http://docs.oasis-open.org/wss/2004/01/"
                                          "oasis-200401-wss-username-token-profile-1.0#"
                                          "PasswordDigest";
inline constexpr char kBase64Binary[] = "http://docs.oasis-open.org/wss/2004/01/"
                                        "oasis-200401-wss-soap-message-security-1.0#Base64Binary";
} // namespace OnvifNs

/// The UsernameToken of one request. The password itself is not kept: only its digest.
struct TUsernameToken {
    std::string user;
    QByteArray nonce;           ///< the raw nonce bytes (sent in Base64)
    std::string created;        ///< xs:dateTime exactly as sent and digested
    std::string passwordDigest; ///< Base64(SHA-1(nonce + created + password))
};

/// Base64(SHA-1(nonce + created + password)), the nonce taken as its raw bytes.
std::string OnvifPasswordDigest(const QByteArray& nonce, std::string_view created,
                                std::string_view password);
/// The UTC time `msecsSinceEpoch` as xs:dateTime with whole seconds: "2024-05-01T12:00:00Z".
std::string OnvifCreatedText(std::int64_t msecsSinceEpoch);
/// 16 bytes from the system's random source.
QByteArray NewOnvifNonce();
/// A token for `user` whose Created is `createdMsecs` (the device's clock).
TUsernameToken MakeUsernameToken(const std::string& user, std::string_view password,
                                 const QByteArray& nonce, std::int64_t createdMsecs);

/// Writes the operation element into the Body.
using TSoapBodyWriter = std::function<void(QXmlStreamWriter& writer)>;

/// A complete request: the XML declaration, Envelope, a Header with wsse:Security when `token`
/// is given, and the Body. Prefixes: s (envelope), tds (device), tt (schema), wsse, wsu.
std::string BuildSoapRequest(const TUsernameToken* token, const TSoapBodyWriter& body);

/// One element of an answer, with the character data directly inside it (trimmed).
struct TXmlElement {
    QString ns;
    QString name;
    QString text;
    /// When `text` is a qualified name (as SOAP fault codes are), the namespace its prefix
    /// stands for at this element; empty otherwise.
    QString textNs;
    /// Attributes by local name.
    std::vector<std::pair<QString, QString>> attributes;
    std::vector<TXmlElement> children;

    /// The first child with that namespace and local name, or nullptr.
    const TXmlElement* Child(const char* ns, const char* localName) const;
    /// Every child with that namespace and local name, in order.
    std::vector<const TXmlElement*> Children(const char* ns, const char* localName) const;
    /// The text of the first such child ("" when there is none).
    QString ChildText(const char* ns, const char* localName) const;
    QString Attribute(const char* localName) const;
    /// `text` without the prefix of a qualified name.
    QString LocalText() const;
    bool Is(const char* ns, const char* localName) const;
};

/// A SOAP fault: the code, its subcodes from the outermost in, and the first reason text.
struct TSoapFault {
    QString codeNs;
    QString code; ///< local name: "Sender", "Receiver" ("Client"/"Server" in SOAP 1.1 read so)
    std::vector<std::pair<QString, QString>> subcodes; ///< (namespace, local name)
    QString reason;

    bool HasSubcode(const char* ns, const char* localName) const;
    /// "env:Sender ter:NotAuthorized ..." for messages (code and subcodes, local names).
    std::string CodeText() const;
};

enum class TSoapReadError {
    kNone,
    kTooLarge,  ///< longer than kMaxSoapAnswerBytes, too deep or too many elements
    kDtd,       ///< a document type declaration or an entity reference
    kMalformed, ///< not well-formed XML
    kNotSoap,   ///< well-formed, but no SOAP Envelope with a Body
};

struct TSoapAnswer {
    TSoapReadError error = TSoapReadError::kNone;
    std::string errorText; ///< English, for messages
    bool isFault = false;
    TSoapFault fault;
    /// The first element inside Body (the operation's response) when there is no fault.
    TXmlElement response;

    bool Ok() const { return error == TSoapReadError::kNone; }
};

inline constexpr std::size_t kMaxSoapAnswerBytes = 256 * 1024;
inline constexpr int kMaxSoapDepth = 32;
inline constexpr int kMaxSoapElements = 8192;
inline constexpr int kMaxSoapText = 8192;

/// Reads a SOAP 1.2 (or 1.1) answer.
TSoapAnswer ReadSoapAnswer(std::string_view bytes);

/// Reads any XML document into a tree under the same limits (the root element in `root`).
TSoapReadError ReadXmlTree(std::string_view bytes, TXmlElement& root, std::string* errorText);

} // namespace zadari
