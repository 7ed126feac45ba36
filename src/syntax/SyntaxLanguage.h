#pragma once

#include "syntax/SyntaxSnippet.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace korimado {

// The description of one kind of text: how its files are recognised, its comments, words and
// snippets. A value; equal when the identifiers are equal.
// Stand-in: only the plain language exists and both lookups give it; the imported highlight and
// outline rules are not here yet.
struct SyntaxLanguage {
    QString id;
    QString displayName;
    QStringList fileExtensions;  // lowercase, without the dot
    QStringList filenames;       // exact, case-sensitive
    std::optional<QString> lineComment;
    std::optional<std::pair<QString, QString>> blockComment;  // open, close
    QStringList keywords;
    QStringList completionWords;
    std::vector<SyntaxSnippet> snippets;
    std::optional<QString> definitionSource;  // path of the package it was read from
    int definitionPriority = 1000;            // lower wins in detection

    static const SyntaxLanguage& plain();
    // The language of a file from its name; plain without a path or match.
    static SyntaxLanguage detect(const std::optional<QString>& filePath);
    // By identifier (lowercased) or exact display name; plain when nothing matches.
    static SyntaxLanguage named(const std::optional<QString>& name);

    friend bool operator==(const SyntaxLanguage& a, const SyntaxLanguage& b) { return a.id == b.id; }
};

}  // namespace korimado
