#pragma once

#include "platform/foundation/JsonValue.h"
#include "search/batch/BatchReplaceRule.h"
#include "search/engine/SearchReplacementResult.h"

#include <QList>
#include <QString>

namespace korimado {

// A rule set: what apply takes and what the own rule file holds.
struct BatchReplaceDocument {
    static constexpr qint64 currentVersion = 1;

    qint64 version = currentVersion;  // 1 is the only version written or accepted from a file
    QString name;                     // a title; a loaded outside-editor or TSV file's base name
    QList<BatchReplaceRule> rules;    // in the order they apply

    friend bool operator==(const BatchReplaceDocument&, const BatchReplaceDocument&) = default;

    // "version", "name", "rules".
    JsonValue encode() const;
    // Strict (every key of its type, UUID ids, valid options); the version is not checked here.
    // Throws JsonDecodingError.
    static BatchReplaceDocument decode(const JsonValue& value);
};

// One enabled rule's count.
struct BatchRuleResult {
    QUuid ruleID;
    qsizetype replacements = 0;
    friend bool operator==(const BatchRuleResult&, const BatchRuleResult&) = default;
};

struct BatchReplaceResult {
    QString text;                       // after every enabled rule
    QList<BatchRuleResult> ruleResults; // one per enabled rule, in rule order
    // What changed, as replacements of the text the rules started from: text order, disjoint,
    // none that leaves its text as it was. Empty when the rules changed nothing.
    QList<SearchReplacement> edits;
};

}  // namespace korimado
