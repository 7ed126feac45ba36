#pragma once

#include "platform/text/TextRange.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class EditInitiator;
class KoriDocument;
struct CommandEdit;
struct SyntaxLanguage;

// The text commands with no window: an action name ("sortLinesAscending:") is turned into its
// replacements by the pure cores and committed through the document's edit door as one undo step
// with its Japanese name. The menus run the commands of an editor through here, with that editor
// as initiator; scripts and self-tests run them on a document and a selection of their own.
class TextCommandRunner {
public:
    // What the indentation commands write.
    struct Indentation {
        int tabWidth = 4;
        bool usesSpacesForIndentation = false;
    };

    enum class Outcome {
        changed,
        unchanged,    // the command found nothing to replace (a line at the top moved up…)
        unavailable,  // the language has no comment of the kind the command needs
        notEditable,
        refused,      // the door refused the replacements, or an argument is missing
        unknown,      // no text command of that name
    };

    // selections: the ones the command acts on, sorted, clamped, never overlapping (several may
    // be carets): an editor's normalised selection. initiator: the editor the command runs in, if
    // any (its undo manager, its selection before and after). The indentation is the settings'
    // and the language the document's until set.
    TextCommandRunner(KoriDocument& document, std::vector<TextRange> selections, EditInitiator* initiator = nullptr);
    ~TextCommandRunner();

    void setIndentation(Indentation indentation) { indentation_ = indentation; }
    // The language whose comment markers the comment commands use.
    void setLanguage(const SyntaxLanguage& language);

    // Every text-changing command, by the action name the menus send.
    static const QStringList& actionNames();
    static bool handles(const QString& action) { return actionNames().contains(action); }
    // The undo step's name of an action; empty for an unknown one.
    static QString undoName(const QString& action);

    // Runs one command. argument: the two strings of "surroundSelection:", the pattern of
    // "patternSort:", the body of "insertSnippet:".
    Outcome run(const QString& action, const QVariant& argument = {});

    // The selections after the last command that changed text (a caret after each replacement,
    // or what the command chose), else the ones given.
    const std::vector<TextRange>& selections() const { return selections_; }
    // Whether the last command chose its selections itself (surround, snippets with a caret mark).
    bool choseSelections() const { return choseSelections_; }

private:
    Outcome commit(const CommandEdit& edit, const QString& action, std::optional<std::vector<TextRange>> chosen = {});
    Outcome replaceBlocks(const QString& action, const std::function<QString(const QString&)>& transform);
    Outcome transformSelections(const QString& action, QString (*transform)(const QString&));
    Outcome surround(const QString& open, const QString& close, const QString& action);

    KoriDocument& document_;
    std::vector<TextRange> selections_;
    EditInitiator* initiator_;
    Indentation indentation_;
    std::unique_ptr<SyntaxLanguage> language_;
    bool choseSelections_ = false;
};

}  // namespace korimado
