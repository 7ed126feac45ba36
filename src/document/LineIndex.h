#pragma once

#include "platform/text/LineStarts.h"
#include "platform/text/TextStorage.h"

#include <memory>
#include <vector>

namespace korimado {

// The document's lines: a view of its storage's line table (never a copy of it), shared with the
// rulers. Main thread only, like the storage.
class LineIndex {
public:
    explicit LineIndex(std::shared_ptr<const TextStorage> storage) : storage_(std::move(storage)) {}

    const LineStarts& table() const { return storage_->lines(); }
    qsizetype length() const { return table().length(); }
    qsizetype lineCount() const { return table().count(); }
    // The 0-based line holding a UTF-16 offset; offsets past the end give the last line.
    qsizetype line(qsizetype at) const { return table().lineAt(at); }
    qsizetype start(qsizetype line) const { return table().start(line); }
    // The line's units including its break.
    TextRange lineRange(qsizetype line) const { return table().range(line); }
    std::vector<qsizetype> starts() const { return table().starts(); }

private:
    std::shared_ptr<const TextStorage> storage_;
};

}  // namespace korimado
