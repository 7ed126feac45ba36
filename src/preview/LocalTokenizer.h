#pragma once

#include "preview/TokenEncoding.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace korimado {

// Why a token count failed. The window words them; it has no text of its own.
enum class CountingError { cancelled, missingTable, malformedTable, unmatchedText, resourceLimit };

// The answer given to the statistics engine's token callback: a count, or why there is none.
struct TokenCountResult {
    std::optional<qint64> count;
    std::optional<CountingError> error;  // a counting failure of our own
    QString errorDescription;            // other failures (reading the table, the pattern)

    bool succeeded() const { return count.has_value(); }
    static TokenCountResult success(qint64 n) { return {n, std::nullopt, QString()}; }
    static TokenCountResult failure(CountingError e) { return {std::nullopt, e, QString()}; }
};

// Counts language-model tokens locally, one shared tokenizer per encoding.
// Stand-in: the rank tables are not read yet, so every encoding reports a missing table.
class LocalTokenizer {
public:
    // Throws CountingError.
    static std::shared_ptr<LocalTokenizer> shared(TokenEncoding encoding);
    // Throws CountingError; no directory means the bundled "Tokenizers" folder.
    LocalTokenizer(TokenEncoding encoding, const std::optional<QString>& directory);

    // Throws CountingError.
    qint64 count(const QString& text, const std::function<bool()>& cancelled) const;
};

}  // namespace korimado
