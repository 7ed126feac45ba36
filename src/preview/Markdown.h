#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>

namespace korimado {

// Markdown to the preview page, through cmark-gfm with tables, strike-through, autolinks and task
// lists. Pure and safe on any thread; a large source is parsed in parts on threads of their own.
// Raw HTML is left out by the library's default options, and the page's policy keeps scripts,
// images, frames and connections off whatever the library emits.
class Markdown {
public:
    Markdown() = delete;
    // The HTML of the document's body; empty when the library fails.
    static QString body(const QString& markdown);
    // The body of UTF-8 source as UTF-8, parsed in at most `parts` parts at once (what body does
    // for a large source, at any size); `parsedIn` tells how many it took. Empty when the library
    // fails.
    static QByteArray bodyInParts(QByteArrayView utf8, std::size_t parts, std::size_t* parsedIn = nullptr);
    enum class Appearance { light, dark };

    // The whole page: head with the policy and style sheet, the body, the closing tags.
    static QString page(const QString& markdown, Appearance appearance = Appearance::light);
    static const QString& head();
    // The head with one more style line that fixes the colours to the program's appearance: the
    // engine's own idea of the desktop's scheme need not match what the user chose here.
    static const QString& head(Appearance appearance);
};

}  // namespace korimado
