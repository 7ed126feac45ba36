// The syntax package reader with the tokenizer: the input holds the package's five files and a
// sample text, separated by NUL bytes; any package that loads colours the text with ordered
// spans inside it and an outline inside it, neither longer than the token limit.
#include "FuzzSupport.h"

#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxParser.h"

#include <QFile>

using namespace korimado;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString package = [] {
        const QString path = fuzz::scratchFolder() + QStringLiteral("/Fuzz.cotsyntax");
        QDir().mkpath(path + QStringLiteral("/Regex"));
        return path;
    }();
    static const char* const files[] = {"Info.json", "Edit.json", "Completion.json", "Regex/Highlights.json",
                                        "Regex/Outlines.json"};

    const QList<QByteArray> parts = fuzz::bytes(data, size).split('\0');
    for (qsizetype i = 0; i < qsizetype(std::size(files)); ++i) {
        writeFile(package + QLatin1Char('/') + QLatin1String(files[i]), parts.value(i));
    }
    const std::optional<SyntaxLanguage> language = CotSyntaxCatalog::loadPackage(package, 0);
    if (!language) return 0;

    const QString text = QString::fromUtf8(parts.value(qsizetype(std::size(files))));
    const SyntaxParser::Result result = SyntaxParser::parse(text, *language, 200);
    FUZZ_CHECK(result.tokens.size() <= 200);
    qsizetype end = 0;
    for (const SyntaxTokenSpan& token : result.tokens) {
        FUZZ_CHECK(token.range.location >= end && token.range.length > 0);
        end = token.range.end();
        FUZZ_CHECK(end <= text.size());
    }
    FUZZ_CHECK(result.outline.size() <= 200);
    for (const SyntaxOutlineEntry& entry : result.outline) {
        FUZZ_CHECK(entry.range.location >= 0 && entry.range.end() <= text.size());
        FUZZ_CHECK(entry.line >= 1 && entry.level >= 1);
    }
    return 0;
}
