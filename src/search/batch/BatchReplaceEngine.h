#pragma once

#include "document/LineEnding.h"
#include "document/TextCodec.h"
#include "search/batch/BatchReplaceDocument.h"
#include "search/engine/SearchCancellationToken.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace korimado {

// The three rule-file formats, chosen by the file name's extension alone.
enum class BatchReplaceFileFormat { cotReplacement, tsv, json };

// Multi-rule replace: applies a rule list to a text, and reads and writes rule files. Static
// functions without state, run on the caller's thread.
class BatchReplaceEngine {
public:
    BatchReplaceEngine() = delete;

    // Every enabled rule does one replace-all over the text the rules above it produced; disabled
    // rules are passed over unseen (not even compiled). The token is polled before each enabled
    // rule. The first failing rule ends the run with its SearchEngineError; nothing partial.
    static BatchReplaceResult apply(const BatchReplaceDocument& document, const QString& text,
                                    std::optional<LineEnding> lineEnding, const SearchCancellationToken* cancellation);

    // "cotrpl" -> cotReplacement; "tsv", "tab", "txt" -> tsv; anything else -> json (any case).
    static BatchReplaceFileFormat fileFormat(const QString& path);
    // Throws PlatformError when the file cannot be read, CodecError (tooLarge) above
    // maximumFileSize, BatchReplaceError, and for the own format JsonDecodingError as it stands.
    static BatchReplaceDocument load(const QString& path);
    static constexpr qint64 maximumFileSize = TextCodec::maximumFileSize;
    // Conversion refusals are thrown before anything is written; the file is replaced atomically
    // (PlatformError when that fails, leaving any old file as it was).
    static void save(const BatchReplaceDocument& document, const QString& path);

    // The own JSON rule file: pretty-printed, keys sorted, "/" written as "\/", UTF-8.
    static QByteArray encodeJSON(const BatchReplaceDocument& document);
    // Strict decoding, then the version check (unsupportedVersion).
    static BatchReplaceDocument decodeJSON(const QByteArray& data);

    // The outside editor's replacement definition (.cotrpl): one settings block shared by all
    // rules; throws incompatibleCotSettings listing the rules that differ from rule 1.
    static QByteArray encodeCotReplacement(const BatchReplaceDocument& document);
    // Throws invalidCotDefinition with the decoder's reason. Every rule gets a new id.
    static BatchReplaceDocument decodeCotReplacement(const QByteArray& data, const QString& name);

    // One rule a line: find, tab, replacement, LF after each. Throws lossyTSVExport for the first
    // rule the text cannot hold.
    static QString exportTSV(const BatchReplaceDocument& document);
    // Lines that do not fit (no tab, empty find) are dropped; with strict, the first of them
    // throws invalidTSVLine instead. A leading byte-order mark is no part of the first rule.
    static BatchReplaceDocument importTSV(const QString& text, const QString& name, bool strict);

    // A file's name without its extension: the name a loaded outside-editor or TSV file gets.
    static QString nameForFile(const QString& path);

private:
    // The outside editor's shared option block.
    struct CotReplacementSettings {
        quint64 textualOptions = 0;
        quint64 regexOptions = 0;
        bool matchesFullWord = false;
        bool unescapesReplacementString = false;
        friend bool operator==(const CotReplacementSettings&, const CotReplacementSettings&) = default;
    };
    static CotReplacementSettings cotSettings(const SearchOptions& options);
    static CotReplacementSettings sharedCotSettings(const BatchReplaceDocument& document);
};

}  // namespace korimado
