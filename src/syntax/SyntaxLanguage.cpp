#include "syntax/SyntaxLanguage.h"

#include "syntax/CotSyntaxCatalog.h"

namespace korimado {

const SyntaxLanguage& SyntaxLanguage::plain()
{
    return builtIn().front();
}

QStringList SyntaxLanguage::indentationOpeners() const
{
    if (id == QLatin1String("python") || id == QLatin1String("yaml")) return {QStringLiteral(":")};
    if (id == plain().id) return {};
    return {QStringLiteral("{")};
}

QStringList SyntaxLanguage::words(const QString& list)
{
    return list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString SyntaxLanguage::pathExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == fileName.size() - 1) return {};
    return fileName.mid(dot + 1);
}

SyntaxLanguage SyntaxLanguage::detect(const std::optional<QString>& filePath)
{
    if (!filePath || filePath->isEmpty()) return plain();
    QString path = *filePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString extension = pathExtension(name).toLower();

    const std::vector<SyntaxLanguage> languages = CotSyntaxCatalog::shared().languages();
    const SyntaxLanguage* best = nullptr;
    bool bestByName = false;
    for (const SyntaxLanguage& language : languages) {
        const bool byName = language.filenames.contains(name);
        if (!byName && !language.fileExtensions.contains(extension)) continue;
        // Lower priority wins; among equal ones a language naming the whole file ("nginx.conf")
        // beats one that only claims its extension ("conf"), then the earliest stays.
        const bool better = !best || language.definitionPriority < best->definitionPriority
                            || (language.definitionPriority == best->definitionPriority && byName && !bestByName);
        if (better) {
            best = &language;
            bestByName = byName;
        }
    }
    return best ? *best : plain();
}

SyntaxLanguage SyntaxLanguage::named(const std::optional<QString>& name)
{
    if (!name) return plain();
    const QString lowered = name->toLower();
    const std::vector<SyntaxLanguage> languages = CotSyntaxCatalog::shared().languages();
    for (const SyntaxLanguage& language : languages) {
        if (language.id == lowered || language.displayName == *name) return language;
    }
    return plain();
}

}  // namespace korimado
