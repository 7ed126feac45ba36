// The integration suite's scripting phase: the document and selection as scripts see them, and the
// line-ending picker of the window.
#include "selftest/IntegrationRun.h"

#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "scripting/objects/ScriptableSelection.h"

#include <QComboBox>

namespace korimado {

void IntegrationRun::checkScripting()
{
    ScriptableDocument scripted(document_);
    scripted.setContents(fixtureText);
    checks_.check(QStringLiteral("script contents property edits document"), text() == fixtureText);

    resetUndo();
    if (QComboBox* picker = window_.endingPicker()) {
        const int index = picker->findText(QStringLiteral("CRLF"));
        picker->setCurrentIndex(index);
        window_.endingChanged(index);
    }
    checks_.check(QStringLiteral("line ending UI converts to CRLF"), text() == LineEnding(LineEnding::crlf).replacing(fixtureText));
    undo();
    checks_.check(QStringLiteral("line ending undo restores text and format"),
                  text() == fixtureText && document_->format().lineEnding == LineEnding::lf);

    ScriptableSelection selection(document_);
    selection.setRange({4, 5});
    checks_.check(QStringLiteral("script grapheme selection"), selection.contents() == QStringLiteral("alpha"));
    selection.setContents(QStringLiteral("name"));
    checks_.check(QStringLiteral("script selection replacement"), text().startsWith(QStringLiteral("let name =")));
}

}  // namespace korimado
