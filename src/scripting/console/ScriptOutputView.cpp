#include "scripting/console/ScriptOutputView.h"

#include "platform/text/LayoutManager.h"

#include <QFontDatabase>

namespace korimado {

ScriptOutputView::ScriptOutputView(qreal points, QSizeF inset, QWidget* parent)
    : TextView(std::make_shared<TextStorage>(), parent)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    layoutManager()->setFont(font);
    setEditable(false);
    setSelectable(true);
    setWrapsLines(true);
    setTextContainerInset(inset);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ScriptOutputView::setText(const QString& text)
{
    TextStorage& storage = *textStorage();
    storage.beginEditing();
    storage.replaceCharacters({0, storage.length()}, text);
    storage.endEditing();
}

void ScriptOutputView::append(const QString& text)
{
    if (text.isEmpty())
        return;
    TextStorage& storage = *textStorage();
    storage.beginEditing();
    storage.replaceCharacters({storage.length(), 0}, text);
    storage.endEditing();
}

void ScriptOutputView::removeLeading(qsizetype count)
{
    if (count <= 0)
        return;
    TextStorage& storage = *textStorage();
    storage.beginEditing();
    storage.replaceCharacters({0, count}, QString());
    storage.endEditing();
}

void ScriptOutputView::scrollToEnd()
{
    scrollRangeToVisible({textLength(), 0});
}

void ScriptOutputView::scrollToBeginning()
{
    scrollRangeToVisible({0, 0});
}

}  // namespace korimado
