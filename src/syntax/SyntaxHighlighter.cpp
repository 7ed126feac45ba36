#include "syntax/SyntaxHighlighter.h"

#include "editor/EditorView.h"
#include "syntax/CotSyntaxCatalog.h"

namespace korimado {

SyntaxHighlighter::SyntaxHighlighter(EditorTextView* editor, const QString& language) : editor_(editor)
{
    resolveLanguage(language);
}

SyntaxHighlighter::~SyntaxHighlighter() = default;

void SyntaxHighlighter::resolveLanguage(const QString& language)
{
    QString text = language;
    while (text.startsWith(QLatin1Char('.'))) {
        text.remove(0, 1);
    }
    while (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    // A display name must match exactly, so lowercasing is left to the lookup.
    SyntaxLanguage resolved = SyntaxLanguage::named(text);
    const QString lowered = text.toLower();
    if (resolved.id == SyntaxLanguage::plain().id && !lowered.isEmpty()) {
        for (const SyntaxLanguage& candidate : CotSyntaxCatalog::shared().languages()) {
            if (candidate.fileExtensions.contains(lowered)) {
                resolved = candidate;
                break;
            }
        }
    }
    languageValue = std::move(resolved);

    if (editor_) {
        editor_->completionWords = languageValue.keywords + languageValue.completionWords;
        if (languageValue.id == QLatin1String("python") || languageValue.id == QLatin1String("yaml")) {
            editor_->indentationOpeners = {QStringLiteral(":")};
        } else if (languageValue.id == SyntaxLanguage::plain().id) {
            editor_->indentationOpeners = {};
        } else {
            editor_->indentationOpeners = {QStringLiteral("{")};
        }
    }
}

void SyntaxHighlighter::update(const std::optional<QString>& language)
{
    if (language) {
        resolveLanguage(*language);
    }
    schedule();
}

void SyntaxHighlighter::schedule()
{
    if (!editor_) {
        return;
    }
    ++generation_;
}

void SyntaxHighlighter::invalidate()
{
    ++generation_;
    outlineEntries.clear();
    if (onOutlineChange) {
        onOutlineChange(outlineEntries);
    }
}

void SyntaxHighlighter::applyVisibleTokens() {}

void SyntaxHighlighter::goToOutlineEntry(int index)
{
    if (index < 0 || index >= static_cast<int>(outlineEntries.size()) || !editor_) {
        return;
    }
    const SyntaxOutlineEntry& entry = outlineEntries[static_cast<size_t>(index)];
    editor_->setSelectedRange(TextRange{entry.range.location, 0});
    editor_->scrollRangeToVisible(entry.range);
    editor_->setFocus();
}

}  // namespace korimado
