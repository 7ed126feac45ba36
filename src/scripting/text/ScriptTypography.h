#pragma once

#include <QString>

namespace korimado {

// Quotation marks and dashes, for the selection's "smarten quotes", "straighten quotes" and
// "smarten dashes". The smart forms follow fixed rules: a straight quote opens (“ ‘) at the start
// of the text, after white space, or after an opening bracket or quote, and closes (” ’)
// elsewhere; an apostrophe between two letters is ’; two hyphens in a row are an em dash.
class ScriptTypography {
public:
    ScriptTypography() = delete;

    // mode: "straighten quotes", "smarten dashes"; anything else smartens quotes.
    static QString apply(const QString& text, const QString& mode);

    static QString straightenQuotes(const QString& text);
    static QString smartenQuotes(const QString& text);
    static QString smartenDashes(const QString& text);
};

}  // namespace korimado
