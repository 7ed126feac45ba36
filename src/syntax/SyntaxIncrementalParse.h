#pragma once

#include "platform/text/TextRange.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxTokenKind.h"

#include <QString>

#include <functional>
#include <vector>

namespace korimado {

// Tokens of an edited text made from those of the text before the edit: only the stretch the edit
// can have changed is parsed again, from a point before it that lies inside no token, until the
// new tokens agree with the old ones again or a bound is reached; the old tokens after that point
// are kept, moved by the change in length. Stateless: safe on any thread.
class SyntaxIncrementalParse {
public:
    // The part of the newest text that edits since the tokens were made have touched, and how
    // much longer the text has become.
    struct Dirty {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype delta = 0;
        bool any = false;

        // Adds an edit of the newest text (editedRange in the text after it).
        void add(TextRange editedRange, qsizetype changeInLength);
        // A position of the tokens' text in the newest one (nothing inside the touched part).
        qsizetype mapOld(qsizetype position) const { return position < start ? position : position + delta; }
        qsizetype oldEnd() const { return end - delta; }
    };

    // Tokens may look this far back and ahead of an edit through context (\b, look-behind).
    static constexpr qsizetype contextUnits = 64;

    struct Result {
        std::vector<SyntaxTokenSpan> tokens;  // the whole list, in the new text, over the new coverage
        TextRange coverage;                   // what the tokens stand for, in the new text
        // Tokens from here on are the old ones moved, not yet checked; none when the parse agreed.
        bool pending = false;
        qsizetype pendingFrom = 0;
        qsizetype convergeFrom = 0;  // where a resumed parse may agree again
        bool cancelled = false;
    };

    // old: the tokens of the text before the edits, standing for oldCoverage. The parse of the new
    // text goes no farther than until (at least past the edit) unless it agrees sooner. text may
    // be the start of the new text only: past its end the old tokens stay, pending.
    static Result afterEdits(const QString& text, const SyntaxLanguage& language, const std::vector<SyntaxTokenSpan>& old,
                             TextRange oldCoverage, const Dirty& dirty, qsizetype until,
                             const std::function<bool()>& isCancelled = {});
    // Checks the next stretch of a pending result, up to until.
    static Result resume(const QString& text, const SyntaxLanguage& language, const Result& pending, qsizetype until,
                         const std::function<bool()>& isCancelled = {});

private:
    static Result run(const QString& text, const SyntaxLanguage& language, const std::vector<SyntaxTokenSpan>& old,
                      TextRange oldCoverage, const Dirty& dirty, qsizetype restart, qsizetype convergeFrom, qsizetype until,
                      const std::function<bool()>& isCancelled);
};

}  // namespace korimado
