#pragma once
// One guarded pass over an XML document received from the network. The document is read with
// namespace processing; a document type declaration (and with it every entity declaration, so
// no "billion laughs"), an undeclared entity, a nesting deeper than the limit, too many elements,
// an over-long text or any well-formedness error stops the pass, and the caller drops the whole
// document.
#include <QString>
#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

struct TXmlLimits {
    std::size_t maxBytes = 64 * 1024;
    int maxDepth = 24;
    std::size_t maxElements = 4000;
    qsizetype maxText = 8 * 1024; ///< characters of one element's text
};

/// Receives the elements of the document in order. `depth` is 0 for the document element.
class TXmlVisitor {
public:
    virtual ~TXmlVisitor() = default;
    virtual void Start(int depth, QStringView ns, QStringView name) = 0;
    /// `text` is the element's own character data (for an element with child elements, only
    /// what follows its last child, which callers ignore).
    virtual void End(int depth, QStringView ns, QStringView name, const QString& text) = 0;
};

class TXmlWalk {
public:
    explicit TXmlWalk(const TXmlLimits& limits = {}) : limits_(limits) {}

    /// Walks `document`; false (after some calls may have reached the visitor) when the document
    /// was refused.
    bool Run(std::string_view document, TXmlVisitor& visitor);

    /// The namespace a prefix stands for at the element being visited ("" for an undeclared
    /// prefix; the default namespace for an empty prefix). Valid inside the visitor's calls.
    QString NamespaceOf(QStringView prefix) const;

private:
    struct TScope {
        QString prefix;
        QString uri;
        int depth;
    };
    TXmlLimits limits_;
    std::vector<TScope> scopes_;
};

/// Text with XML white space (space, tab, CR, LF) removed at both ends, as UTF-8.
std::string TrimmedUtf8(const QString& text);

/// The white-space separated items of a list value (xs:list), as UTF-8.
std::vector<std::string> SplitXmlList(const QString& text, std::size_t maxItems);

} // namespace zadari
