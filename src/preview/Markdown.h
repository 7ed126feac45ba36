#pragma once

#include <QString>

namespace korimado {

// Markdown to the HTML body of the preview page; pure, safe on any thread.
// Stand-in: shows the source as preformatted text until the renderer is built.
class Markdown {
public:
    Markdown() = delete;
    static QString body(const QString& markdown);
};

}  // namespace korimado
