#include "window/EditorPair.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"

#include <QPointer>
#include <QSplitter>

#include <algorithm>

namespace korimado {

EditorPair::EditorPair(KoriDocument& document, TextViewDelegate& delegate, QObject* parent)
    : QObject(parent), document_(&document), delegate_(&delegate)
{
    split_ = new QSplitter(Qt::Vertical);
    split_->setHandleWidth(1);
    primary_ = makeEditor();
    primary_->setTextContainerInset(QSizeF(16, 16));
    primary_->setAccessibleName(QStringLiteral("原案"));
    primary_->setAccessibleDescription(QStringLiteral("2本指のピンチ操作で文字を拡大・縮小できます。"));
    primaryRuler_ = new LineNumberRuler(primary_, document.lines());
    primary_->setRulersVisible(true);
    split_->addWidget(primary_);
}

EditorTextView* EditorPair::makeEditor()
{
    auto* editor = new EditorTextView(document_->sharedStorage());
    editor->setDelegate(delegate_);
    editor->setAllowsUndo(true);
    editor->setUndoManager(document_->undoManager());
    editor->setWrapsLines(false);
    editor->setFrameShape(QFrame::NoFrame);
    QPointer<KoriDocument> document(document_);
    editor->preferredEnding = [document] {
        return document ? document->format().lineEnding.breakString() : QStringLiteral("\n");
    };
    return editor;
}

std::vector<EditorTextView*> EditorPair::editors() const
{
    std::vector<EditorTextView*> all{primary_};
    if (secondary_) all.push_back(secondary_);
    return all;
}

EditorTextView* EditorPair::openSecondary()
{
    if (secondary_) return secondary_;
    secondary_ = makeEditor();
    secondary_->setAccessibleName(QStringLiteral("分割テキストエディタ"));
    secondaryRuler_ = new LineNumberRuler(secondary_, document_->lines());
    secondary_->apply(primary_->options());
    secondary_->setTextContainerInset(primary_->textContainerInset());
    secondary_->setWrapsLines(primary_->wrapsLines());
    secondary_->setHorizontalScrollBarPolicy(primary_->horizontalScrollBarPolicy());
    split_->addWidget(secondary_);
    const bool sideBySide = split_->orientation() == Qt::Horizontal;
    const int extent = std::max(sideBySide ? split_->width() : split_->height(), 2);
    split_->setSizes({extent / 2, extent - extent / 2});
    return secondary_;
}

void EditorPair::closeSecondary()
{
    EditorTextView* editor = secondary_;
    secondary_ = nullptr;
    secondaryRuler_ = nullptr;
    delete editor;
}

bool EditorPair::isVertical() const
{
    return split_->orientation() == Qt::Horizontal;
}

void EditorPair::setVertical(bool sideBySide)
{
    split_->setOrientation(sideBySide ? Qt::Horizontal : Qt::Vertical);
}

void EditorPair::setWrapsLines(bool wraps)
{
    for (EditorTextView* editor : editors()) {
        editor->setWrapsLines(wraps);
        editor->setHorizontalScrollBarPolicy(wraps ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    }
    updateRulers();
}

void EditorPair::updateRulers()
{
    for (LineNumberRuler* ruler : {primaryRuler_, secondaryRuler_}) {
        if (ruler) ruler->update();
    }
}

}  // namespace korimado
