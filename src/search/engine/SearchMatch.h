#pragma once

#include "platform/text/TextRange.h"

#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

namespace korimado {

// One match; every range is in UTF-16 units of the searched (whole) text.
struct SearchMatch {
    TextRange range;
    // Expressions: groups 1..n in order, a group that took no part at location NotFound, length 0.
    // Plain: empty.
    QList<TextRange> captureRanges;
    // Expressions: each named group of the pattern that took part. Plain: empty.
    QMap<QString, TextRange> namedCaptureRanges;

    friend bool operator==(const SearchMatch&, const SearchMatch&) = default;
};

}  // namespace korimado

Q_DECLARE_TYPEINFO(korimado::SearchMatch, Q_RELOCATABLE_TYPE);

namespace korimado {

// What findAll returns.
struct SearchResultSet {
    std::uint64_t revision = 0;  // as the caller passed it, to tell whether the text has moved on
    TextRange searchedRange;     // the scope, or the whole text
    QList<SearchMatch> matches;  // text order, never overlapping
    double elapsedMilliseconds = 0;
};

// A move to the next or previous match, as the find panel reports it.
struct SearchNavigationResult {
    SearchMatch match;
    qsizetype index = 0;  // of the match in the result list
    qsizetype total = 0;
    bool wrapped = false;  // went past an end of the text and went on from the other
};

}  // namespace korimado
