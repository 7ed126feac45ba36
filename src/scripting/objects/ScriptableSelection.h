#pragma once

#include "scripting/objects/ScriptableDocument.h"

#include <vector>

namespace korimado {

// A document's selection as scripts see it: the primary editor's first selected range, in
// characters (grapheme clusters) or lines. Once the document or its window is gone, getters
// answer the empty case and setters do nothing.
class ScriptableSelection {
public:
    explicit ScriptableSelection(KoriDocument* document) : document_(document) {}

    std::optional<EventDescriptor> value(const QString& key) const;
    bool setValue(const QString& key, const EventDescriptor& value);
    void perform(const QString& method, ScriptCommand& command);

    QString contents() const;
    void setContents(const QString& text);
    std::vector<qint64> range() const;
    void setRange(const std::vector<qint64>& range);
    std::vector<qint64> lineRange() const;
    void setLineRange(const std::vector<qint64>& range);

    void textCommand(ScriptCommand& command);
    void transform(ScriptCommand& command);

private:
    ScriptableDocument document_;
};

}  // namespace korimado
