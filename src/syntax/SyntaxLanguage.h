#pragma once

#include "syntax/SyntaxRules.h"
#include "syntax/SyntaxSnippet.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace korimado {

// The description of one kind of text: how its files are recognised, its comments, words,
// snippets and the rules imported for it from a syntax package. A value; equal when the
// identifiers are equal.
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
    std::vector<SyntaxRegexRule> importedHighlightRules;
    std::vector<SyntaxOutlineRule> importedOutlineRules;
    std::optional<QString> definitionSource;  // path of the package it was read from
    int definitionPriority = 1000;            // lower wins in detection

    static const SyntaxLanguage& plain();
    // The twelve languages every catalog build starts from, in menu order.
    static const std::vector<SyntaxLanguage>& builtIn();
    // The language of a file from its name only (never its contents); plain without a path or match.
    static SyntaxLanguage detect(const std::optional<QString>& filePath);
    // By identifier (lowercased) or exact display name; plain when nothing matches.
    static SyntaxLanguage named(const std::optional<QString>& name);
    // What ends a line after which the next one is indented: none for plain text.
    QStringList indentationOpeners() const;
    // The pieces of a space-separated word list, empty pieces dropped.
    static QStringList words(const QString& list);
    // Foundation's path extension: nothing for ".zshrc" or "name."; not lowercased.
    static QString pathExtension(const QString& fileName);

    friend bool operator==(const SyntaxLanguage& a, const SyntaxLanguage& b) { return a.id == b.id; }
};

}  // namespace korimado
