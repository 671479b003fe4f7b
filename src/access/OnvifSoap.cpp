#include "access/OnvifSoap.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <array>

namespace zadari {

namespace {

QString Q(const char* latin1) {
    return QString::fromLatin1(latin1);
}

bool IsQualifiedNameText(const QString& text) {
    if (text.isEmpty() || text.size() > 256)
        return false;
    int colons = 0;
    for (const QChar c : text) {
        if (c.isSpace())
            return false;
        if (c == QLatin1Char(':'))
            ++colons;
    }
    return colons <= 1 && !text.startsWith(QLatin1Char(':')) && !text.endsWith(QLatin1Char(':'));
}

using TScopes = std::vector<QXmlStreamNamespaceDeclarations>;

QString ResolvePrefix(const TScopes& scopes, QStringView prefix) {
    if (prefix == QLatin1String("xml"))
        return QStringLiteral("http://www.w3.org/XML/1998/namespace");
    for (auto scope = scopes.rbegin(); scope != scopes.rend(); ++scope) {
        for (const QXmlStreamNamespaceDeclaration& declaration : *scope) {
            if (declaration.prefix() == prefix)
                return declaration.namespaceUri().toString();
        }
    }
    return {};
}

void ResolveTextNamespace(TXmlElement& element, const TScopes& scopes) {
    if (!element.children.empty() || !IsQualifiedNameText(element.text))
        return;
    const qsizetype colon = element.text.indexOf(QLatin1Char(':'));
    const QStringView prefix = colon < 0 ? QStringView() : QStringView(element.text).left(colon);
    element.textNs = ResolvePrefix(scopes, prefix);
}

const TXmlElement* FirstChildElement(const TXmlElement& element) {
    return element.children.empty() ? nullptr : &element.children.front();
}

QString LocalPart(const QString& qualified) {
    const qsizetype colon = qualified.indexOf(QLatin1Char(':'));
    return colon < 0 ? qualified : qualified.mid(colon + 1);
}

void ReadFault12(const TXmlElement& fault, TSoapFault& out) {
    const char* env = OnvifNs::kSoapEnvelope;
    if (const TXmlElement* code = fault.Child(env, "Code")) {
        if (const TXmlElement* value = code->Child(env, "Value")) {
            out.codeNs = value->textNs;
            out.code = value->LocalText();
        }
        const TXmlElement* sub = code->Child(env, "Subcode");
        while (sub != nullptr) { // bounded by the tree's depth
            if (const TXmlElement* value = sub->Child(env, "Value"))
                out.subcodes.emplace_back(value->textNs, value->LocalText());
            sub = sub->Child(env, "Subcode");
        }
    }
    if (const TXmlElement* reason = fault.Child(env, "Reason")) {
        const std::vector<const TXmlElement*> texts = reason->Children(env, "Text");
        for (const TXmlElement* text : texts) {
            if (text->Attribute("lang").startsWith(QLatin1String("en"))) {
                out.reason = text->text;
                break;
            }
        }
        if (out.reason.isEmpty() && !texts.empty())
            out.reason = texts.front()->text;
    }
}

void ReadFault11(const TXmlElement& fault, TSoapFault& out) {
    // SOAP 1.1 faults carry one code in an unqualified faultcode element.
    if (const TXmlElement* code = fault.Child("", "faultcode")) {
        QString local = code->LocalText();
        if (code->textNs == Q(OnvifNs::kError)) {
            out.subcodes.emplace_back(code->textNs, local);
            local = QStringLiteral("Sender");
        } else if (local == QLatin1String("Client")) {
            local = QStringLiteral("Sender");
        } else if (local == QLatin1String("Server")) {
            local = QStringLiteral("Receiver");
        }
        out.codeNs = Q(OnvifNs::kSoapEnvelope);
        out.code = local;
    }
    out.reason = fault.ChildText("", "faultstring");
}

} // namespace

// ---- security -----------------------------------------------------------------------------

std::string OnvifPasswordDigest(const QByteArray& nonce, std::string_view created,
                                std::string_view password) {
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(QByteArrayView(created.data(), static_cast<qsizetype>(created.size())));
    sha1.addData(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    return sha1.result().toBase64().toStdString();
}

std::string OnvifCreatedText(std::int64_t msecsSinceEpoch) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")).toStdString();
}

QByteArray NewOnvifNonce() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words));
}

TUsernameToken MakeUsernameToken(const std::string& user, std::string_view password,
                                 const QByteArray& nonce, std::int64_t createdMsecs) {
    TUsernameToken token;
    token.user = user;
    token.nonce = nonce;
    token.created = OnvifCreatedText(createdMsecs);
    token.passwordDigest = OnvifPasswordDigest(nonce, token.created, password);
    return token;
}

// ---- requests -----------------------------------------------------------------------------

std::string BuildSoapRequest(const TUsernameToken* token, const TSoapBodyWriter& body) {
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(false);
    writer.writeStartDocument();
    writer.writeNamespace(Q(OnvifNs::kSoapEnvelope), QStringLiteral("s"));
    writer.writeNamespace(Q(OnvifNs::kDevice), QStringLiteral("tds"));
    writer.writeNamespace(Q(OnvifNs::kSchema), QStringLiteral("tt"));
    if (token != nullptr) {
        writer.writeNamespace(Q(OnvifNs::kWsse), QStringLiteral("wsse"));
        writer.writeNamespace(Q(OnvifNs::kWsu), QStringLiteral("wsu"));
    }
    writer.writeStartElement(Q(OnvifNs::kSoapEnvelope), QStringLiteral("Envelope"));
    if (token != nullptr) {
        const QString wsse = Q(OnvifNs::kWsse);
        writer.writeStartElement(Q(OnvifNs::kSoapEnvelope), QStringLiteral("Header"));
        writer.writeStartElement(wsse, QStringLiteral("Security"));
        writer.writeAttribute(Q(OnvifNs::kSoapEnvelope), QStringLiteral("mustUnderstand"),
                              QStringLiteral("1"));
        writer.writeStartElement(wsse, QStringLiteral("UsernameToken"));
        writer.writeTextElement(wsse, QStringLiteral("Username"),
                                QString::fromStdString(token->user));
        writer.writeStartElement(wsse, QStringLiteral("Password"));
        writer.writeAttribute(QStringLiteral("Type"), Q(OnvifNs::kPasswordDigest));
        writer.writeCharacters(QString::fromStdString(token->passwordDigest));
        writer.writeEndElement();
        writer.writeStartElement(wsse, QStringLiteral("Nonce"));
        writer.writeAttribute(QStringLiteral("EncodingType"), Q(OnvifNs::kBase64Binary));
        writer.writeCharacters(QString::fromLatin1(token->nonce.toBase64()));
        writer.writeEndElement();
        writer.writeTextElement(Q(OnvifNs::kWsu), QStringLiteral("Created"),
                                QString::fromStdString(token->created));
        writer.writeEndElement(); // UsernameToken
        writer.writeEndElement(); // Security
        writer.writeEndElement(); // Header
    }
    writer.writeStartElement(Q(OnvifNs::kSoapEnvelope), QStringLiteral("Body"));
    if (body)
        body(writer);
    writer.writeEndElement(); // Body
    writer.writeEndElement(); // Envelope
    writer.writeEndDocument();
    return out.toStdString();
}

// ---- the element tree ---------------------------------------------------------------------

bool TXmlElement::Is(const char* nsUri, const char* localName) const {
    return name == QLatin1String(localName) && ns == QLatin1String(nsUri);
}

const TXmlElement* TXmlElement::Child(const char* nsUri, const char* localName) const {
    for (const TXmlElement& child : children) {
        if (child.Is(nsUri, localName))
            return &child;
    }
    return nullptr;
}

std::vector<const TXmlElement*> TXmlElement::Children(const char* nsUri,
                                                      const char* localName) const {
    std::vector<const TXmlElement*> found;
    for (const TXmlElement& child : children) {
        if (child.Is(nsUri, localName))
            found.push_back(&child);
    }
    return found;
}

QString TXmlElement::ChildText(const char* nsUri, const char* localName) const {
    const TXmlElement* child = Child(nsUri, localName);
    return child == nullptr ? QString() : child->text;
}

QString TXmlElement::Attribute(const char* localName) const {
    for (const auto& [key, value] : attributes) {
        if (key == QLatin1String(localName))
            return value;
    }
    return {};
}

QString TXmlElement::LocalText() const {
    return LocalPart(text);
}

bool TSoapFault::HasSubcode(const char* nsUri, const char* localName) const {
    for (const auto& [subNs, subName] : subcodes) {
        if (subName == QLatin1String(localName) && subNs == QLatin1String(nsUri))
            return true;
    }
    return false;
}

std::string TSoapFault::CodeText() const {
    std::string text = "env:" + code.toStdString();
    for (const auto& [subNs, subName] : subcodes) {
        text += subNs == QLatin1String(OnvifNs::kError) ? " ter:" : " ";
        text += subName.toStdString();
    }
    return text;
}

// ---- reading answers ----------------------------------------------------------------------

TSoapReadError ReadXmlTree(std::string_view bytes, TXmlElement& root, std::string* errorText) {
    root = TXmlElement{};
    auto fail = [&](TSoapReadError error, std::string text) {
        root = TXmlElement{};
        if (errorText != nullptr)
            *errorText = std::move(text);
        return error;
    };
    if (bytes.size() > kMaxSoapAnswerBytes)
        return fail(TSoapReadError::kTooLarge, "the answer is longer than 256 KiB");

    QXmlStreamReader reader(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    std::vector<TXmlElement*> open;
    TScopes scopes;
    int elements = 0;
    bool haveRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return fail(TSoapReadError::kDtd, "the answer carries a document type declaration");
        case QXmlStreamReader::EntityReference:
            return fail(TSoapReadError::kDtd, "the answer refers to an entity");
        case QXmlStreamReader::StartElement: {
            if (++elements > kMaxSoapElements || static_cast<int>(open.size()) >= kMaxSoapDepth)
                return fail(TSoapReadError::kTooLarge, "the answer is nested too deep or too long");
            TXmlElement* element = nullptr;
            if (open.empty()) {
                if (haveRoot) // the reader reports this too; be explicit
                    return fail(TSoapReadError::kMalformed, "the answer has two root elements");
                haveRoot = true;
                element = &root;
            } else {
                // Only the innermost open element gains children, so the pointers held for its
                // ancestors stay valid.
                open.back()->children.emplace_back();
                element = &open.back()->children.back();
            }
            element->ns = reader.namespaceUri().toString();
            element->name = reader.name().toString();
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                element->attributes.emplace_back(attribute.name().toString(),
                                                 attribute.value().toString());
            scopes.push_back(reader.namespaceDeclarations());
            open.push_back(element);
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty()) {
                QString& text = open.back()->text;
                if (text.size() + reader.text().size() > kMaxSoapText)
                    return fail(TSoapReadError::kTooLarge, "the answer holds too long a text");
                text += reader.text();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (!open.empty()) {
                TXmlElement& element = *open.back();
                element.text = element.text.trimmed();
                ResolveTextNamespace(element, scopes);
                open.pop_back();
                scopes.pop_back();
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || !haveRoot || !open.empty())
        return fail(TSoapReadError::kMalformed, "the answer is not well-formed XML (line " +
                                                    std::to_string(reader.lineNumber()) + ")");
    return TSoapReadError::kNone;
}

TSoapAnswer ReadSoapAnswer(std::string_view bytes) {
    TSoapAnswer answer;
    TXmlElement root;
    answer.error = ReadXmlTree(bytes, root, &answer.errorText);
    if (!answer.Ok())
        return answer;
    const bool soap12 = root.Is(OnvifNs::kSoapEnvelope, "Envelope");
    const bool soap11 = root.Is(OnvifNs::kSoap11Envelope, "Envelope");
    if (!soap12 && !soap11) {
        answer.error = TSoapReadError::kNotSoap;
        answer.errorText = "the answer is not a SOAP envelope";
        return answer;
    }
    const char* env = soap12 ? OnvifNs::kSoapEnvelope : OnvifNs::kSoap11Envelope;
    const TXmlElement* body = root.Child(env, "Body");
    const TXmlElement* first = body == nullptr ? nullptr : FirstChildElement(*body);
    if (first == nullptr) {
        answer.error = TSoapReadError::kNotSoap;
        answer.errorText = "the answer has no SOAP Body content";
        return answer;
    }
    if (first->Is(env, "Fault")) {
        answer.isFault = true;
        if (soap12)
            ReadFault12(*first, answer.fault);
        else
            ReadFault11(*first, answer.fault);
        return answer;
    }
    answer.response = *first;
    return answer;
}

} // namespace zadari
