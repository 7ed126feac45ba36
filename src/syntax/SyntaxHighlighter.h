#pragma once

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxOutlineEntry.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace korimado {

class EditorTextView;

// Colours one editor and keeps its outline.
// Stand-in: nothing is parsed or coloured yet; the language, the editor's word lists, the outline
// list and going to an outline entry are real.
class SyntaxHighlighter {
public:
    using OutlineCallback = std::function<void(const std::vector<SyntaxOutlineEntry>&)>;

    // language: an identifier, a display name or a file extension (dots are trimmed).
    SyntaxHighlighter(EditorTextView* editor, const QString& language);
    ~SyntaxHighlighter();
    SyntaxHighlighter(const SyntaxHighlighter&) = delete;
    SyntaxHighlighter& operator=(const SyntaxHighlighter&) = delete;

    EditorTextView* editor() const { return editor_; }

    // Resolves and stores the language when given one, then schedules a parse.
    void update(const std::optional<QString>& language);
    // Asks for a fresh parse (stand-in: only raises the generation).
    void schedule();
    // Cancels everything and forgets the outline; the outline callback gets an empty list.
    void invalidate();
    // Repaints the visible range from the stored tokens (stand-in: no tokens, nothing to paint).
    void applyVisibleTokens();
    // Puts the caret at the start of the entry, scrolls it into view and focuses the editor.
    void goToOutlineEntry(int index);

    SyntaxLanguage languageValue;
    std::vector<SyntaxOutlineEntry> outlineEntries;
    OutlineCallback onOutlineChange;

    std::uint64_t generation() const { return generation_; }

private:
    void resolveLanguage(const QString& language);

    QPointer<EditorTextView> editor_;
    std::uint64_t generation_ = 0;
};

}  // namespace korimado
