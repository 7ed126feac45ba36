#pragma once

#include "platform/foundation/PropertyList.h"

#include <QHash>

#include <string>

namespace korimado {

// Reads the XML property-list form in one pass over the bytes, building values as their elements
// close: no copy of the input and no document tree, since a Defaults file of a megabyte would
// otherwise be held three times over. Checks what an XML parser checks of the structure (tags
// closed in order, nothing but white space, comments and processing instructions between values)
// and skips any doctype without reading its declarations.
class XMLPropertyListParser {
public:
    // UTF-8 bytes, or UTF-16, UTF-32 or Latin-1 as the byte-order mark or declaration says.
    // Throws PropertyListError.
    static PropertyList parse(QByteArrayView data);

private:
    explicit XMLPropertyListParser(QByteArrayView data);

    PropertyList document();
    PropertyList element(QByteArrayView name, bool empty, int depth);
    PropertyList array(QByteArrayView name, int depth);
    PropertyList dictionary(QByteArrayView name, int depth);
    // The next element inside a container, its start tag read; false at the container's end tag.
    bool nextChild(QByteArrayView container, QByteArrayView& child, bool& empty);
    // The text of a scalar element, its end tag read: a view of the input where nothing needed
    // decoding, else of decoded_ (valid until the next element).
    QByteArrayView text(QByteArrayView name);
    // A CDATA section's characters, lines ends folded, onto decoded_.
    void appendSection();
    QString interned(QByteArrayView raw);

    // Markup.
    bool startTag(QByteArrayView& name, bool& empty);
    bool atEndTag(QByteArrayView name);
    QByteArrayView readName();
    void skipAttributes(bool& empty);
    bool skipMarkup();
    // White space, comments and processing instructions between elements; a doctype before the first.
    void skipMisc(bool doctype);
    void skipDoctype();
    void skipSpace();
    void skipPast(const char* terminator);
    void decodeReference();

    const char* begin_;
    const char* at_;
    const char* end_;
    qsizetype values_ = 0;
    // Text that needed decoding (references, CDATA, line ends); reused from element to element.
    std::string decoded_;
    // Keys of nested dictionaries repeat from sibling to sibling: each spelling is made once.
    QHash<QByteArrayView, QString> keys_;
};

}  // namespace korimado
