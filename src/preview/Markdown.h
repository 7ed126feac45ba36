#pragma once

#include <QString>

namespace korimado {

// Markdown to the preview page, through cmark-gfm with tables, strike-through, autolinks and task
// lists. Pure and safe on any thread; raw HTML is left out by the library's default options, and the
// page's policy keeps scripts, images, frames and connections off whatever the library emits.
class Markdown {
public:
    Markdown() = delete;
    // The HTML of the document's body; empty when the library fails.
    static QString body(const QString& markdown);
    // The whole page: head with the policy and style sheet, the body, the closing tags.
    static QString page(const QString& markdown);
    static const QString& head();
};

}  // namespace korimado
