#include "standards/XmlWalk.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <string>

namespace zadari {

namespace {

bool IsXmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

bool TXmlWalk::Run(std::string_view document, TXmlVisitor& visitor) {
    scopes_.clear();
    if (document.empty() || document.size() > limits_.maxBytes)
        return false;
    const QByteArray bytes =
        QByteArray::fromRawData(document.data(), static_cast<qsizetype>(document.size()));
    // A reader of its own for every document: one reused after clear() still knows the entities
    // an earlier document declared, so an undeclared entity would pass.
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(true);

    // The text of the element opened or closed last: an element's own text is complete when it
    // ends, as nothing can stand between its last child and its end but more of its own text.
    QString text;
    int depth = 0;
    std::size_t elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (depth >= limits_.maxDepth || ++elements > limits_.maxElements)
                return false;
            const auto declarations = reader.namespaceDeclarations();
            for (const auto& declaration : declarations)
                scopes_.push_back({declaration.prefix().toString(),
                                   declaration.namespaceUri().toString(), depth});
            text.clear();
            visitor.Start(depth, reader.namespaceUri(), reader.name());
            ++depth;
            break;
        }
        case QXmlStreamReader::EndElement:
            if (depth == 0)
                return false;
            --depth;
            visitor.End(depth, reader.namespaceUri(), reader.name(), text);
            text.clear();
            while (!scopes_.empty() && scopes_.back().depth >= depth)
                scopes_.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (depth == 0 || (text.isEmpty() && reader.isWhitespace()))
                break;
            if (text.size() + reader.text().size() > limits_.maxText)
                return false;
            text.append(reader.text());
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::Invalid:
            return false;
        default: // document start and end, comments, processing instructions
            break;
        }
    }
    return !reader.hasError() && depth == 0 && elements > 0;
}

QString TXmlWalk::NamespaceOf(QStringView prefix) const {
    for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
        if (it->prefix == prefix)
            return it->uri;
    if (prefix == u"xml")
        return QStringLiteral("http://www.w3.org/XML/1998/namespace");
    return {};
}

std::string TrimmedUtf8(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsXmlSpace(text[begin]))
        ++begin;
    while (end > begin && IsXmlSpace(text[end - 1]))
        --end;
    return QStringView(text).mid(begin, end - begin).toUtf8().toStdString();
}

std::vector<std::string> SplitXmlList(const QString& text, std::size_t maxItems) {
    std::vector<std::string> items;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && items.size() < maxItems) {
        while (i < n && IsXmlSpace(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && !IsXmlSpace(text[i]))
            ++i;
        if (i > start)
            items.push_back(QStringView(text).mid(start, i - start).toUtf8().toStdString());
    }
    return items;
}

} // namespace zadari
