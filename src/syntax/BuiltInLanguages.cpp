// The twelve languages every catalog starts from, with their word lists and snippets.
#include "syntax/SyntaxLanguage.h"

namespace korimado {

namespace {

struct Definition {
    const char* id;
    const char* displayName;
    const char* extensions;
    const char* filenames;
    const char* lineComment;  // nullptr: none
    const char* blockOpen;    // nullptr: none
    const char* blockClose;
    const char* keywords;
    const char* completionWords;
};

const Definition definitions[] = {
    {"plain", "標準テキスト", "txt", "", nullptr, nullptr, nullptr, "", ""},
    {"swift", "Swift", "swift", "", "//", "/*", "*/",
     "actor associatedtype async await break case catch class continue convenience default defer deinit didSet do "
     "dynamic else enum extension fallthrough false fileprivate final for func get guard if import in indirect init "
     "inout internal is isolated lazy let mutating nil nonisolated open operator override package precedencegroup "
     "private protocol public repeat required rethrows return self Self set some static struct subscript super switch "
     "throws true try typealias unowned var weak where while willSet",
     "Array Dictionary Set String Int Double Bool Result Task MainActor Codable Equatable Hashable Sendable"},
    {"javascript", "JavaScript", "js jsx mjs cjs", "", "//", "/*", "*/",
     "async await break case catch class const continue debugger default delete do else export extends false finally "
     "for from function get if import in instanceof let new null of return set static super switch this throw true "
     "try typeof undefined var void while with yield",
     "Array Boolean Date Error JSON Map Math Number Object Promise Proxy Reflect RegExp Set String Symbol console "
     "document window"},
    {"typescript", "TypeScript", "ts tsx mts cts", "", "//", "/*", "*/",
     "abstract any as asserts async await boolean break case catch class const constructor continue declare default "
     "delete do else enum export extends false finally for from function get if implements import in infer "
     "instanceof interface is keyof let module namespace never new null number object of override private protected "
     "public readonly require return satisfies set static string super switch symbol this throw true try type typeof "
     "undefined unique unknown var void while with yield",
     "Array Date Error Map Promise ReadonlyArray Record Set Partial Pick Omit ReturnType Parameters"},
    {"python", "Python", "py pyw", "", "#", nullptr, nullptr,
     "and as assert async await break case class continue def del elif else except False finally for from global if "
     "import in is lambda match None nonlocal not or pass raise return True try while with yield",
     "bool bytes dict enumerate filter float frozenset int len list map max min open print range reversed set sorted "
     "str sum super tuple type zip"},
    {"json", "JSON", "json jsonl geojson", "", nullptr, nullptr, nullptr, "true false null", "true false null"},
    {"markdown", "Markdown", "md markdown mdown mkd", "README CHANGELOG", nullptr, "<!--", "-->", "", ""},
    {"html", "HTML", "html htm xhtml shtml", "", nullptr, "<!--", "-->", "",
     "article aside body button canvas div footer form h1 h2 h3 head header html img input label li link main meta "
     "nav ol option p script section select span style table tbody td textarea th thead title tr ul"},
    {"css", "CSS", "css scss sass less", "", nullptr, "/*", "*/",
     "important inherit initial revert unset auto none normal transparent currentColor",
     "align-items background border color display flex font gap grid height justify-content margin max-width "
     "min-height opacity overflow padding position transform transition width z-index"},
    {"shell", "シェルスクリプト", "sh bash zsh fish", "Makefile .zshrc .bashrc", "#", nullptr, nullptr,
     "case do done elif else esac export fi for function if in local readonly return select then time trap until "
     "while",
     "awk basename cd chmod cp curl dirname echo env exec find grep head mkdir mv printf pwd read rm sed sort tail "
     "test touch tr uniq xargs"},
    {"c", "C / C++ / Objective-C", "c h cc cpp cxx hpp m mm", "", "//", "/*", "*/",
     "alignas alignof asm auto bool break case catch char class const constexpr continue default delete do double "
     "else enum explicit export extern false float for friend goto if inline int long mutable namespace new noexcept "
     "nullptr operator private protected public register reinterpret_cast return short signed sizeof static struct "
     "switch template this throw true try typedef typename union unsigned using virtual void volatile wchar_t while",
     "FILE NULL size_t stdin stdout stderr malloc calloc realloc free memcpy memset printf fprintf snprintf"},
    {"sql", "SQL", "sql ddl dml", "", "--", "/*", "*/",
     "ADD ALL ALTER AND ANY AS ASC BACKUP BETWEEN BY CASE CHECK COLUMN CONSTRAINT CREATE DATABASE DEFAULT DELETE DESC "
     "DISTINCT DROP ELSE END EXISTS FOREIGN FROM FULL GROUP HAVING IN INDEX INNER INSERT INTO IS JOIN KEY LEFT LIKE "
     "LIMIT NOT NULL OFFSET ON OR ORDER OUTER PRIMARY PROCEDURE RIGHT ROWS SELECT SET TABLE TOP TRUNCATE UNION UNIQUE "
     "UPDATE VALUES VIEW WHEN WHERE WITH",
     "AVG COUNT MAX MIN SUM COALESCE CAST CURRENT_DATE CURRENT_TIMESTAMP LOWER UPPER"},
};

struct SnippetDefinition {
    const char* language;
    const char* name;
    const char* body;
};

const SnippetDefinition snippetDefinitions[] = {
    {"swift", "関数", "func name() {\n    \n}"},
    {"swift", "型", "struct Name {\n    \n}"},
    {"javascript", "関数", "function name() {\n  \n}"},
    {"javascript", "アロー関数", "const name = () => {\n  \n};"},
    {"typescript", "インターフェース", "interface Name {\n  \n}"},
    {"typescript", "関数", "function name(): void {\n  \n}"},
    {"python", "関数", "def name():\n    pass"},
    {"python", "クラス", "class Name:\n    pass"},
    {"json", "オブジェクト", "{\n  \"key\": \"value\"\n}"},
    {"markdown", "リンク", "[表示名](https://example.com)"},
    {"markdown", "コードブロック", "```\n\n```"},
    {"html", "HTML文書",
     "<!doctype html>\n<html lang=\"ja\">\n<head>\n  <meta charset=\"utf-8\">\n  <title></title>\n</head>\n<body>\n  "
     "\n</body>\n</html>"},
    {"css", "メディアクエリ", "@media (max-width: 768px) {\n  \n}"},
    {"shell", "シバン", "#!/usr/bin/env bash\nset -euo pipefail\n"},
    {"c", "main関数", "int main(void) {\n    return 0;\n}"},
    {"sql", "SELECT", "SELECT *\nFROM table_name\nWHERE condition;"},
};

SyntaxLanguage makeLanguage(const Definition& d)
{
    SyntaxLanguage language;
    language.id = QString::fromUtf8(d.id);
    language.displayName = QString::fromUtf8(d.displayName);
    language.fileExtensions = SyntaxLanguage::words(QString::fromUtf8(d.extensions));
    language.filenames = SyntaxLanguage::words(QString::fromUtf8(d.filenames));
    if (d.lineComment) language.lineComment = QString::fromUtf8(d.lineComment);
    if (d.blockOpen) language.blockComment = std::make_pair(QString::fromUtf8(d.blockOpen), QString::fromUtf8(d.blockClose));
    language.keywords = SyntaxLanguage::words(QString::fromUtf8(d.keywords));
    language.completionWords = SyntaxLanguage::words(QString::fromUtf8(d.completionWords));
    for (const SnippetDefinition& s : snippetDefinitions) {
        if (language.id == QLatin1String(s.language)) {
            language.snippets.push_back({QString::fromUtf8(s.name), QString::fromUtf8(s.body)});
        }
    }
    return language;
}

}  // namespace

const std::vector<SyntaxLanguage>& SyntaxLanguage::builtIn()
{
    static const std::vector<SyntaxLanguage> languages = [] {
        std::vector<SyntaxLanguage> list;
        for (const Definition& d : definitions) list.push_back(makeLanguage(d));
        return list;
    }();
    return languages;
}

}  // namespace korimado
