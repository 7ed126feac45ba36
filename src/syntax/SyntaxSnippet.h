#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace korimado {

// A named piece of text offered for one language.
struct SyntaxSnippet {
    QString name;
    QString body;

    // A JSON array of {"name", "body"} objects; nothing when the data is not exactly that (one bad
    // element rejects the whole array).
    static std::optional<std::vector<SyntaxSnippet>> decodeList(const QByteArray& json);
    static QByteArray encodeList(const std::vector<SyntaxSnippet>& snippets);

    friend bool operator==(const SyntaxSnippet&, const SyntaxSnippet&) = default;
};

}  // namespace korimado
