#include "syntax/SyntaxLanguage.h"

#include "syntax/CotSyntaxCatalog.h"

#include <QFileInfo>

namespace korimado {

const SyntaxLanguage& SyntaxLanguage::plain()
{
    static const SyntaxLanguage language = [] {
        SyntaxLanguage l;
        l.id = QStringLiteral("plain");
        l.displayName = QStringLiteral("標準テキスト");
        l.fileExtensions = {QStringLiteral("txt")};
        return l;
    }();
    return language;
}

SyntaxLanguage SyntaxLanguage::detect(const std::optional<QString>& filePath)
{
    if (!filePath || filePath->isEmpty()) {
        return plain();
    }
    const QFileInfo info(*filePath);
    const QString extension = info.suffix().toLower();
    const QString name = info.fileName();
    const SyntaxLanguage* best = nullptr;
    const std::vector<SyntaxLanguage> languages = CotSyntaxCatalog::shared().languages();
    for (const SyntaxLanguage& language : languages) {
        const bool matches = (!extension.isEmpty() && language.fileExtensions.contains(extension))
                             || language.filenames.contains(name);
        if (matches && (!best || language.definitionPriority < best->definitionPriority)) {
            best = &language;
        }
    }
    return best ? *best : plain();
}

SyntaxLanguage SyntaxLanguage::named(const std::optional<QString>& name)
{
    if (!name) {
        return plain();
    }
    const QString lowered = name->toLower();
    for (const SyntaxLanguage& language : CotSyntaxCatalog::shared().languages()) {
        if (language.id == lowered || language.displayName == *name) {
            return language;
        }
    }
    return plain();
}

}  // namespace korimado
