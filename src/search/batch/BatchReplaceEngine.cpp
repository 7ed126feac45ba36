#include "search/batch/BatchReplaceEngine.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"
#include "platform/foundation/PlatformError.h"
#include "platform/text/TextChanges.h"
#include "document/UnicodeForms.h"
#include "search/batch/BatchReplaceError.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

namespace korimado {

BatchReplaceResult BatchReplaceEngine::apply(const BatchReplaceDocument& document, const QString& text,
                                             std::optional<LineEnding> lineEnding,
                                             const SearchCancellationToken* cancellation)
{
    BatchReplaceResult result;
    result.text = text;
    // What every rule so far replaced, as pieces of the text before the first.
    std::vector<TextChange> changes;
    for (const BatchReplaceRule& rule : document.rules) {
        if (!rule.enabled) continue;
        if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();
        SearchRequest request;
        request.pattern = rule.find;
        request.replacement = rule.replacement;
        request.options = rule.options;
        request.lineEnding = lineEnding;
        SearchReplacementResult replaced = SearchEngine::replacingAll(result.text, request, cancellation);
        if (replaced.matchCount > 0) {
            if (replaced.searchedRange == TextRange(0, result.text.size())) {
                result.text = std::move(replaced.replacement);
            } else {
                result.text.replace(replaced.searchedRange.location, replaced.searchedRange.length, replaced.replacement);
            }
            std::vector<TextChange> pieces;
            pieces.reserve(size_t(replaced.edits.size()));
            for (const SearchReplacement& edit : replaced.edits)
                pieces.push_back(TextChange{edit.originalRange.location, edit.originalRange.length, edit.replacement.size()});
            changes = changes.empty() ? std::move(pieces) : TextChanges::composed(changes, pieces);
        }
        result.ruleResults.push_back(BatchRuleResult{rule.id, replaced.matchCount});
    }
    // The pieces with their new text; those that came back as they were are no edit.
    const TextChanges all(std::move(changes));
    for (qsizetype i = 0; i < all.size(); ++i) {
        const TextChange& change = all.changes()[size_t(i)];
        const QStringView now = QStringView(result.text).mid(all.newLocation(i), change.newLength);
        if (now == QStringView(text).mid(change.location, change.oldLength)) continue;
        result.edits.push_back(SearchReplacement{TextRange(change.location, change.oldLength), now.toString()});
    }
    return result;
}

// The extension as the platform sees it: after the last dot, not counting a leading one.
static QString pathExtension(const QString& path)
{
    const QString file = path.section(u'/', -1);
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot <= 0 || dot == file.size() - 1) return QString();
    return file.mid(dot + 1);
}

QString BatchReplaceEngine::nameForFile(const QString& path)
{
    const QString file = path.section(u'/', -1);
    const QString extension = pathExtension(path);
    return extension.isEmpty() ? file : file.left(file.size() - extension.size() - 1);
}

BatchReplaceFileFormat BatchReplaceEngine::fileFormat(const QString& path)
{
    const QString extension = pathExtension(path).toLower();
    if (extension == u"cotrpl") return BatchReplaceFileFormat::cotReplacement;
    if (extension == u"tsv" || extension == u"tab" || extension == u"txt") return BatchReplaceFileFormat::tsv;
    return BatchReplaceFileFormat::json;
}

BatchReplaceDocument BatchReplaceEngine::load(const QString& path)
{
    ErrorInfo error;
    const std::optional<QByteArray> data = readWholeFile(path, &error);
    if (!data) throw PlatformError(error);
    switch (fileFormat(path)) {
    case BatchReplaceFileFormat::cotReplacement: return decodeCotReplacement(*data, nameForFile(path));
    case BatchReplaceFileFormat::tsv: {
        const std::optional<QString> text = UnicodeForms::decode(UnicodeForms::Form::utf8, *data);
        if (!text) throw BatchReplaceError::invalidTSVLine(1);
        return importTSV(*text, nameForFile(path), false);
    }
    case BatchReplaceFileFormat::json: break;
    }
    return decodeJSON(*data);
}

void BatchReplaceEngine::save(const BatchReplaceDocument& document, const QString& path)
{
    QByteArray bytes;
    switch (fileFormat(path)) {
    case BatchReplaceFileFormat::cotReplacement: bytes = encodeCotReplacement(document); break;
    case BatchReplaceFileFormat::tsv: bytes = exportTSV(document).toUtf8(); break;
    case BatchReplaceFileFormat::json: bytes = encodeJSON(document); break;
    }
    ErrorInfo error;
    if (!writeFileSafely(path, bytes, &error)) throw PlatformError(error);
}

QByteArray BatchReplaceEngine::encodeJSON(const BatchReplaceDocument& document)
{
    JsonWriter::Options options;
    options.prettyPrinted = true;
    options.sortedKeys = true;
    options.escapesSolidus = true;
    return JsonWriter::write(document.encode(), options);
}

BatchReplaceDocument BatchReplaceEngine::decodeJSON(const QByteArray& data)
{
    BatchReplaceDocument document = BatchReplaceDocument::decode(JsonReader::parse(data));
    if (document.version != BatchReplaceDocument::currentVersion) throw BatchReplaceError::unsupportedVersion(document.version);
    return document;
}

}  // namespace korimado
