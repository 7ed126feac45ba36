#pragma once

#include "platform/events/EventDescriptor.h"
#include "platform/text/TextRange.h"
#include "scripting/text/ScriptCommand.h"
#include "scripting/text/ScriptErrors.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace korimado {

class DocumentEditor;
class EditorHost;
class KoriDocument;

// What a script sees of one document: its properties by key and its commands. Every text change
// goes through the document's edit door as one undo step; the editor acted on is always the
// primary one of the document's first window, whichever editor has the focus.
class ScriptableDocument {
public:
    static inline const QString dialogOpenCloseMessage =
        QStringLiteral("ダイアログが開いているあいだは書類を閉じられません。ダイアログを閉じてから、もう一度実行してください。");
    static inline const QString dialogOpenQuitMessage =
        QStringLiteral("ダイアログが開いているあいだは終了できません。ダイアログを閉じてから、もう一度実行してください。");
    static inline const QString notEditableMessage = QStringLiteral("この書類は編集が禁止されています。");
    static inline const QString invalidExpressionMessage = QStringLiteral("無効な正規表現です。");

    explicit ScriptableDocument(KoriDocument* document) : document_(document) {}

    KoriDocument* document() const { return document_; }
    EditorHost* window() const;
    DocumentEditor* editor() const;

    // Properties by their key; none for a key the document does not have.
    std::optional<EventDescriptor> value(const QString& key) const;
    // False when the key is not a settable property of the document.
    bool setValue(const QString& key, const EventDescriptor& value);
    // Why the last setValue did not take a value of a property the document has, when it says.
    struct Refusal {
        int number;
        QString message;
    };
    const std::optional<Refusal>& refusal() const { return refusal_; }

    // The commands by handler; the reply value, or none, with any error set on the command.
    std::optional<EventDescriptor> perform(const QString& method, ScriptCommand& command);

    QString contents() const;
    void setContents(const QString& text);
    bool isEditable() const;
    QString lineEndingName() const;
    void setLineEnding(const QString& name);
    int tabWidth() const;
    void setTabWidth(qint64 width);

    // Commits a whole new text: only the changed middle is replaced, in one undo step, caret at
    // the end; nothing when the editor is read-only or the text is the same.
    void applyScriptText(const QString& text, const QString& actionName);
    // Replaces ranges of the text with strings in one undo step, leaving the caret at caretAfter.
    void commitScriptEdit(const QVector<TextRange>& ranges, const QStringList& strings, qsizetype caretAfter,
                          const QString& actionName);

    std::optional<EventDescriptor> find(ScriptCommand& command);
    qint64 replace(ScriptCommand& command);
    bool convert(ScriptCommand& command);
    bool reinterpret(ScriptCommand& command);
    void jump(ScriptCommand& command);
    void scroll();
    QString string(ScriptCommand& command) const;
    // The standard commands. save writes to the document's file, or to the command's "in" path;
    // close saves or drops unsaved changes as the command says, and asks, as the window's close
    // button does, when it says neither; it refuses while a dialog is up. False when saving failed
    // (the command holds the error).
    bool save(ScriptCommand& command);
    void close(ScriptCommand& command);

private:
    QPointer<KoriDocument> document_;
    std::optional<Refusal> refusal_;
};

}  // namespace korimado
