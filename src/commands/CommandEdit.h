#pragma once

#include "platform/text/TextRange.h"

#include <QStringList>

#include <vector>

namespace korimado {

// What a text command hands to the editor's multi-range replace: one string per range.
struct CommandEdit {
    std::vector<TextRange> ranges;
    QStringList strings;

    void add(TextRange range, const QString& string)
    {
        ranges.push_back(range);
        strings.append(string);
    }
    bool isEmpty() const { return ranges.empty(); }
};

}  // namespace korimado
