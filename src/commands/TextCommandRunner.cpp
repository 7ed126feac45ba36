#include "commands/TextCommandRunner.h"

#include "commands/CommandEdit.h"
#include "commands/EditingTransforms.h"
#include "commands/LineEdits.h"
#include "commands/SelectionEdits.h"
#include "commands/TextConversions.h"
#include "document/KoriDocument.h"
#include "editor/SelectionMath.h"
#include "editor/TextReader.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxModel.h"

#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace korimado {

namespace {

struct Command {
    const char* action;
    const char16_t* undoName;
};

// In the order of the menus.
constexpr Command commands[] = {
    {"shiftRight:", u"インデントを増やす"},
    {"shiftLeft:", u"インデントを減らす"},
    {"convertIndentationToSpaces:", u"インデントを空白へ変換"},
    {"convertIndentationToTabs:", u"インデントをタブへ変換"},
    {"toggleComment:", u"コメントを切り替え"},
    {"inlineComment:", u"行コメント"},
    {"blockComment:", u"ブロックコメント"},
    {"uncomment:", u"コメントを解除"},
    {"surroundSelection:", u"選択範囲を囲む"},
    {"insertSnippet:", u"スニペットを挿入"},
    {"trimTrailingWhitespace:", u"行末の空白を削除"},
    {"moveLineUp:", u"行を上へ移動"},
    {"moveLineDown:", u"行を下へ移動"},
    {"duplicateLine:", u"行を複製"},
    {"deleteLine:", u"行を削除"},
    {"sortLinesAscending:", u"行を並べ替え"},
    {"sortLinesDescending:", u"行を並べ替え"},
    {"patternSort:", u"パターンで並べ替え"},
    {"reverseLines:", u"行を逆順にする"},
    {"shuffleLines:", u"行をシャッフル"},
    {"deleteDuplicateLines:", u"重複行を削除"},
    {"joinLines:", u"行を連結"},
    {"uppercase:", u"大文字に変換"},
    {"lowercase:", u"小文字に変換"},
    {"capitalize:", u"先頭を大文字に変換"},
    {"fullWidth:", u"全角に変換"},
    {"halfWidth:", u"半角に変換"},
    {"fullWidthRoman:", u"英数字を全角に変換"},
    {"halfWidthRoman:", u"英数字を半角に変換"},
    {"urlEncode:", u"URLエンコード"},
    {"urlDecode:", u"URLデコード"},
};

QString fullWidthRoman(const QString& text)
{
    return EditingTransforms::convertWidth(text, true);
}

QString halfWidthRoman(const QString& text)
{
    return EditingTransforms::convertWidth(text, false);
}

}  // namespace

TextCommandRunner::TextCommandRunner(KoriDocument& document, std::vector<TextRange> selections, EditInitiator* initiator)
    : document_(document), selections_(std::move(selections)), initiator_(initiator)
{
    if (selections_.empty()) selections_.push_back(TextRange(0, 0));
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    indentation_ = {static_cast<int>(std::clamp<qint64>(settings.tabWidth, 1, 16)), settings.useSpaces};
}

TextCommandRunner::~TextCommandRunner() = default;

void TextCommandRunner::setLanguage(const SyntaxLanguage& language)
{
    language_ = std::make_unique<SyntaxLanguage>(language);
}

const QStringList& TextCommandRunner::actionNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const Command& command : commands) list.append(QString::fromLatin1(command.action));
        return list;
    }();
    return names;
}

QString TextCommandRunner::undoName(const QString& action)
{
    for (const Command& command : commands)
        if (action == QLatin1String(command.action)) return QString::fromUtf16(command.undoName);
    return {};
}

TextCommandRunner::Outcome TextCommandRunner::run(const QString& action, const QVariant& argument)
{
    choseSelections_ = false;
    const Indentation in = indentation_;
    const QString a = action;
    auto is = [&a](const char* name) { return a == QLatin1String(name); };

    if (is("shiftRight:"))
        return replaceBlocks(a, [in](const QString& block) {
            return LineEdits::shiftRight(block, in.tabWidth, in.usesSpacesForIndentation);
        });
    if (is("shiftLeft:"))
        return replaceBlocks(a, [in](const QString& block) {
            return EditingTransforms::indent(block, in.tabWidth, in.usesSpacesForIndentation, true);
        });
    if (is("convertIndentationToSpaces:") || is("convertIndentationToTabs:")) {
        const bool toSpaces = is("convertIndentationToSpaces:");
        return replaceBlocks(a, [in, toSpaces](const QString& block) {
            return EditingTransforms::convertIndentation(block, in.tabWidth, toSpaces);
        });
    }

    const SyntaxLanguage language = language_ ? *language_ : SyntaxModel::of(document_).language();
    if (is("toggleComment:")) {
        if (language.lineComment && !language.lineComment->isEmpty()) {
            const QString marker = *language.lineComment;
            return replaceBlocks(a, [marker](const QString& block) { return EditingTransforms::toggleLineComment(block, marker); });
        }
        if (language.blockComment) return surround(language.blockComment->first, language.blockComment->second, a);
        return Outcome::unavailable;
    }
    if (is("inlineComment:")) {
        if (!language.lineComment || language.lineComment->isEmpty()) return Outcome::unavailable;
        const QString marker = *language.lineComment;
        return replaceBlocks(a, [marker](const QString& block) { return LineEdits::inlineComment(block, marker); });
    }
    if (is("blockComment:")) {
        if (!language.blockComment) return Outcome::unavailable;
        return surround(language.blockComment->first, language.blockComment->second, a);
    }
    if (is("uncomment:")) {
        // As the menu has it: a language with no comment markers has nothing to uncomment.
        if (!language.lineComment && !language.blockComment) return Outcome::unavailable;
        return replaceBlocks(a, [language](const QString& block) {
            return EditingTransforms::uncomment(block, language.lineComment, language.blockComment);
        });
    }

    if (is("surroundSelection:")) {
        const QStringList pair = argument.toStringList();
        if (pair.size() != 2) return Outcome::refused;
        return surround(pair[0], pair[1], a);
    }
    if (is("insertSnippet:")) {
        if (argument.typeId() != QMetaType::QString) return Outcome::refused;
        SelectionEdits::Result result;
        {
            const TextReader reader(document_.storage());
            result = SelectionEdits::insertSnippet(reader, selections_, argument.toString());
        }
        return commit(result.edit, a, std::move(result.selections));
    }

    if (is("trimTrailingWhitespace:")) return replaceBlocks(a, &LineEdits::trimTrailingWhitespace);
    if (is("moveLineUp:") || is("moveLineDown:")) {
        CommandEdit edit;
        {
            const TextReader reader(document_.storage());
            const std::vector<TextRange> blocks = selection::uniqueLineRanges(selections_, reader);
            edit = is("moveLineUp:") ? LineEdits::moveUp(reader, blocks) : LineEdits::moveDown(reader, blocks);
        }
        return commit(edit, a);
    }
    if (is("duplicateLine:")) {
        const QString ending = document_.format().lineEnding.breakString();
        return replaceBlocks(a, [ending](const QString& block) { return LineEdits::duplicate(block, ending); });
    }
    if (is("deleteLine:")) return replaceBlocks(a, [](const QString&) { return QString(); });
    if (is("sortLinesAscending:") || is("sortLinesDescending:")) {
        const bool ascending = is("sortLinesAscending:");
        return replaceBlocks(a, [ascending](const QString& block) {
            return EditingTransforms::sortLines(block, ascending, std::nullopt);
        });
    }
    if (is("patternSort:")) {
        if (argument.typeId() != QMetaType::QString) return Outcome::refused;
        const QString pattern = argument.toString();
        return replaceBlocks(a, [pattern](const QString& block) { return EditingTransforms::sortLines(block, true, pattern); });
    }
    if (is("reverseLines:")) return replaceBlocks(a, &EditingTransforms::reverseLines);
    if (is("shuffleLines:"))
        return replaceBlocks(a, [](const QString& block) { return LineEdits::shuffle(block, *QRandomGenerator::system()); });
    if (is("deleteDuplicateLines:")) return replaceBlocks(a, &EditingTransforms::deduplicateLines);
    if (is("joinLines:")) {
        CommandEdit edit;
        {
            const TextReader reader(document_.storage());
            std::vector<TextRange> blocks = selection::uniqueLineRanges(selections_, reader);
            blocks = LineEdits::blocksToJoin(reader, blocks, selections_.front().isEmpty());
            edit = LineEdits::transformBlocks(reader, blocks, &EditingTransforms::joinLines);
        }
        return commit(edit, a);
    }

    if (is("uppercase:")) return transformSelections(a, &TextConversions::uppercase);
    if (is("lowercase:")) return transformSelections(a, &TextConversions::lowercase);
    if (is("capitalize:")) return transformSelections(a, &TextConversions::capitalize);
    if (is("fullWidth:")) return transformSelections(a, &TextConversions::fullWidth);
    if (is("halfWidth:")) return transformSelections(a, &TextConversions::halfWidth);
    if (is("fullWidthRoman:")) return transformSelections(a, &fullWidthRoman);
    if (is("halfWidthRoman:")) return transformSelections(a, &halfWidthRoman);
    if (is("urlEncode:")) return transformSelections(a, &TextConversions::urlEncode);
    if (is("urlDecode:")) return transformSelections(a, &TextConversions::urlDecode);
    return Outcome::unknown;
}

TextCommandRunner::Outcome TextCommandRunner::replaceBlocks(const QString& action,
                                                            const std::function<QString(const QString&)>& transform)
{
    CommandEdit edit;
    {
        const TextReader reader(document_.storage());
        const std::vector<TextRange> blocks = selection::uniqueLineRanges(selections_, reader);
        edit = LineEdits::transformBlocks(reader, blocks, transform);
    }
    return commit(edit, action);
}

TextCommandRunner::Outcome TextCommandRunner::transformSelections(const QString& action,
                                                                  QString (*transform)(const QString&))
{
    CommandEdit edit;
    {
        const TextReader reader(document_.storage());
        for (TextRange range : SelectionEdits::conversionRanges(reader, selections_))
            edit.add(range, transform(reader.substring(range)));
    }
    return commit(edit, action);
}

TextCommandRunner::Outcome TextCommandRunner::surround(const QString& open, const QString& close, const QString& action)
{
    if (open.isEmpty() && close.isEmpty()) return Outcome::unchanged;
    SelectionEdits::Result result;
    {
        const TextReader reader(document_.storage());
        result = SelectionEdits::surround(reader, selections_, open, close);
    }
    return commit(result.edit, action, std::move(result.selections));
}

TextCommandRunner::Outcome TextCommandRunner::commit(const CommandEdit& edit, const QString& action,
                                                     std::optional<std::vector<TextRange>> chosen)
{
    TextStorage& storage = document_.storage();
    const std::vector<selection::Replacement> pairs =
        selection::applicableReplacements(edit.ranges, edit.strings, storage.length());
    if (pairs.empty()) return Outcome::unchanged;
    // A command that leaves every piece as it was (lower case on lower-case text, no duplicate
    // lines) records no step and leaves a clean document clean.
    const bool same = std::all_of(pairs.begin(), pairs.end(), [&storage](const selection::Replacement& pair) {
        return pair.string.size() == pair.range.length && storage.substring(pair.range) == pair.string;
    });
    if (same) return Outcome::unchanged;
    QVector<TextRange> ranges;
    QStringList strings;
    for (const selection::Replacement& pair : pairs) {
        ranges.append(pair.range);
        strings.append(pair.string);
    }
    const std::vector<TextRange> after = chosen ? *chosen : selection::caretsAfter(pairs, true);
    const auto outcome = TextEditing::replace(storage, ranges, strings, undoName(action),
                                              QVector<TextRange>(after.begin(), after.end()), initiator_);
    switch (outcome) {
    case TextEditing::Outcome::replaced:
        selections_ = after;
        choseSelections_ = chosen.has_value();
        return Outcome::changed;
    case TextEditing::Outcome::notEditable: return Outcome::notEditable;
    case TextEditing::Outcome::refused: return Outcome::refused;
    }
    return Outcome::refused;
}

}  // namespace korimado
