#pragma once

#include "preview/PreTokenizer.h"
#include "preview/TokenEncoding.h"
#include "preview/TokenRankTable.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace korimado {

// Why a token count failed. The window words them; it has no text of its own.
enum class CountingError { cancelled, missingTable, malformedTable, unmatchedText, resourceLimit };

// A failure that is not one of ours: reading the table file, compiling the pattern.
class TokenizerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The answer given to the statistics engine's token callback: a count, or why there is none.
struct TokenCountResult {
    std::optional<qint64> count;
    std::optional<CountingError> error;  // a counting failure of our own
    QString errorDescription;            // other failures (reading the table, the pattern)

    bool succeeded() const { return count.has_value(); }
    static TokenCountResult success(qint64 n) { return {n, std::nullopt, QString()}; }
    static TokenCountResult failure(CountingError e) { return {std::nullopt, e, QString()}; }
    static TokenCountResult failure(const QString& description) { return {std::nullopt, std::nullopt, description}; }
};

// Counts language-model tokens locally with byte-pair merging over a published rank table, one
// shared tokenizer per encoding. Immutable once made, so any thread may count with it.
class LocalTokenizer {
public:
    // The pieces that need merging are capped, bounding one piece's memory.
    static constexpr std::size_t maximumPieceBytes = 1'048'576;
    static constexpr std::size_t o200kEntries = 199'998;
    static constexpr std::size_t cl100kEntries = 100'256;

    // Throws CountingError or TokenizerError. A failed load is not kept: the next call tries again.
    static std::shared_ptr<const LocalTokenizer> shared(TokenEncoding encoding);
    // Throws CountingError or TokenizerError; no directory means the bundled "Tokenizers" folder.
    LocalTokenizer(TokenEncoding encoding, const std::optional<QString>& directory);
    ~LocalTokenizer();
    LocalTokenizer(const LocalTokenizer&) = delete;
    LocalTokenizer& operator=(const LocalTokenizer&) = delete;

    // Throws CountingError. `cancelled` is asked at the first piece, every 256 pieces after it and
    // every 1,024 merges.
    qint64 count(QStringView text, const std::function<bool()>& cancelled) const;
    qint64 count(const QString& text, const std::function<bool()>& cancelled) const
    {
        return count(QStringView(text), cancelled);
    }

    // The pre-tokenizer expression; PreTokenizer splits text as it does.
    static QString pattern(TokenEncoding encoding);
    std::size_t entryCount() const { return ranks_.size(); }

private:
    qint64 pieceCount(std::string_view bytes, const std::function<bool()>& cancelled) const;

    // Tells this tokenizer's remembered piece counts from those of one before it at the same address.
    std::uint64_t serial_;
    TokenRankTable ranks_;
    PreTokenizer pieces_;
};

}  // namespace korimado
