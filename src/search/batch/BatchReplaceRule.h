#pragma once

#include "platform/foundation/JsonValue.h"
#include "search/engine/SearchOptions.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace korimado {

// One find-and-replace rule of a multi-rule set.
struct BatchReplaceRule {
    QUuid id;            // ties a BatchRuleResult to its rule
    bool enabled = true; // false: apply passes over the rule
    QString find;        // empty finds nothing
    QString replacement; // literal in plain mode, a template in expression mode
    std::optional<QString> description;  // the user's note
    SearchOptions options;

    friend bool operator==(const BatchReplaceRule&, const BatchReplaceRule&) = default;

    // The options a tab-separated rule and a fresh rule carry: plain, case-sensitive, wrapping,
    // multiline, unescaping; nothing preserved.
    static SearchOptions standardRuleOptions();

    // The own rule file's rule object: "id" (upper-case UUID), "enabled", "find", "replacement",
    // "description" only when set, "options".
    JsonValue encode() const;
    // Strict; throws JsonDecodingError (an "id" that is not a UUID is corrupted data).
    static BatchReplaceRule decode(const JsonValue& value, const QString& codingPath);
};

}  // namespace korimado
