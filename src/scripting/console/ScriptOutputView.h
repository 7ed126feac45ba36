#pragma once

#include "platform/text/TextView.h"

#include <QString>

namespace korimado {

// A read-only, selectable text view for what scripts print: plain text in the monospaced system
// font, wrapped to the view's width, on a storage of its own. Being no document, its text takes
// no undo: edits go straight to its storage, one transaction each.
class ScriptOutputView : public TextView {
    Q_OBJECT

public:
    // points: the font size; inset: the margin around the text, horizontally and vertically.
    ScriptOutputView(qreal points, QSizeF inset, QWidget* parent = nullptr);

    QString text() const { return string(); }
    void setText(const QString& text);
    void append(const QString& text);
    // Removes the first count units.
    void removeLeading(qsizetype count);
    void scrollToEnd();
    void scrollToBeginning();
};

}  // namespace korimado
