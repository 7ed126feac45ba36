#pragma once

#include <QObject>

#include <vector>

class QSplitter;

namespace korimado {

class EditorTextView;
class KoriDocument;
class LineNumberRuler;
class TextViewDelegate;

// The one or two editors of a document window on the document's shared storage, each with its
// line-number ruler, in one splitter. The second editor starts with the first one's options; each
// keeps its own from then on.
class EditorPair : public QObject {
    Q_OBJECT

public:
    EditorPair(KoriDocument& document, TextViewDelegate& delegate, QObject* parent = nullptr);

    EditorTextView* primary() const { return primary_; }
    LineNumberRuler* primaryRuler() const { return primaryRuler_; }
    EditorTextView* secondary() const { return secondary_; }
    LineNumberRuler* secondaryRuler() const { return secondaryRuler_; }
    QSplitter* split() const { return split_; }
    bool isSplitOpen() const { return secondary_ != nullptr; }
    // The primary editor, then the second one when it is open.
    std::vector<EditorTextView*> editors() const;

    // Opens the second editor with the primary's options and wrapping, halves the splitter and
    // returns it; an open one is returned as it is.
    EditorTextView* openSecondary();
    // Drops the second editor (and its layout manager) from the window and the storage.
    void closeSecondary();
    // Side by side (true) or one above the other.
    bool isVertical() const;
    void setVertical(bool sideBySide);

    void setWrapsLines(bool wraps);
    void updateRulers();

private:
    EditorTextView* makeEditor();

    KoriDocument* document_;
    TextViewDelegate* delegate_;
    QSplitter* split_ = nullptr;
    EditorTextView* primary_ = nullptr;
    LineNumberRuler* primaryRuler_ = nullptr;
    EditorTextView* secondary_ = nullptr;
    LineNumberRuler* secondaryRuler_ = nullptr;
};

}  // namespace korimado
