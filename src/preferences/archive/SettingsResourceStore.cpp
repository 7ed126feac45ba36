#include "preferences/archive/SettingsResourceStore.h"

#include "platform/documents/FileIO.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"
#include "search/batch/BatchReplaceLibrary.h"
#include "syntax/CotSyntaxCatalog.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"

#include <cerrno>

namespace korimado {

namespace {

const QString kNotFolder = QStringLiteral("フォルダではありません");

QString extensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 ? QString() : name.mid(dot + 1).toLower();
}

QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 ? name : name.left(dot);
}

// A name that stands for one item directly inside its folder.
bool isDirectChild(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/')
        && !name.contains(QChar(0));
}

// Writes the item as folder/name, replacing whatever has that name (a link is replaced, not
// followed); empty on success, else the reason.
QString install(const FileWrapper& item, const std::optional<QString>& folder, const QString& name)
{
    if (!isDirectChild(name)) return SettingsArchiveError::unsafeEntry(name).localizedDescription();
    ErrorInfo error;
    if (!folder) return posixError(ENOENT, name).description;
    if (!createDirectories(*folder, &error)) return error.description;
    if (!item.write(*folder + QLatin1Char('/') + name, &error)) return error.description;
    return {};
}

}  // namespace

SettingsResourceStore::SettingsResourceStore(EditorThemeStore& themeStore)
    : SettingsResourceStore(CotSyntaxCatalog::userSyntaxDirectory(), BatchReplaceLibrary::directory(), themeStore)
{
}

SettingsResourceStore::SettingsResourceStore(QString syntaxDirectory, std::optional<QString> replacementDirectory,
                                             EditorThemeStore& themeStore)
    : syntaxDirectory_(std::move(syntaxDirectory)),
      replacementDirectory_(std::move(replacementDirectory)),
      themeStore_(themeStore)
{
}

SettingsResourceActivationSummary SettingsResourceStore::activate(const SettingsArchive& archive) const
{
    Summary summary;
    const auto entry = [&archive](const char* name) -> const SettingsArchiveEntry* {
        const auto it = archive.resources().constFind(QString::fromLatin1(name));
        return it == archive.resources().constEnd() ? nullptr : &it.value();
    };
    activateThemes(entry("Themes"), summary);
    activateSyntaxes(entry("Syntaxes"), summary);
    activateReplacements(entry("Replacements"), summary);
    return summary;
}

void SettingsResourceStore::activateThemes(const SettingsArchiveEntry* folder, Summary& summary) const
{
    if (!folder) return;
    if (folder->isRegularFile()) {
        summary.rejected.insert(QStringLiteral("Themes"), kNotFolder);
        return;
    }
    for (auto it = folder->fileWrappers().cbegin(); it != folder->fileWrappers().cend(); ++it) {
        const QString path = QStringLiteral("Themes/") + it.key();
        if (extensionOf(it.key()) != QLatin1String("cottheme") || !it.value().isRegularFile()) {
            summary.rejected.insert(path, QStringLiteral(".cotthemeファイルではありません"));
            continue;
        }
        try {
            themeStore_.installTheme(it.value().regularFileContents(), withoutExtension(it.key()), true);
            summary.activated.append(path);
        } catch (const EditorThemeError& error) {
            summary.rejected.insert(path, error.localizedDescription());
        }
    }
}

void SettingsResourceStore::activateSyntaxes(const SettingsArchiveEntry* folder, Summary& summary) const
{
    if (!folder) return;
    if (folder->isRegularFile()) {
        summary.rejected.insert(QStringLiteral("Syntaxes"), kNotFolder);
        return;
    }
    for (auto it = folder->fileWrappers().cbegin(); it != folder->fileWrappers().cend(); ++it) {
        const QString path = QStringLiteral("Syntaxes/") + it.key();
        if (extensionOf(it.key()) != QLatin1String("cotsyntax")) {
            summary.rejected.insert(path, QStringLiteral(".cotsyntaxパッケージではありません"));
            continue;
        }
        try {
            validateSyntax(it.value(), it.key());
        } catch (const SettingsArchiveError& error) {
            summary.rejected.insert(path, error.localizedDescription());
            continue;
        }
        const QString reason = install(it.value(), syntaxDirectory_, it.key());
        if (reason.isEmpty()) summary.activated.append(path);
        else summary.rejected.insert(path, reason);
    }
}

void SettingsResourceStore::activateReplacements(const SettingsArchiveEntry* folder, Summary& summary) const
{
    if (!folder) return;
    if (folder->isRegularFile()) {
        summary.rejected.insert(QStringLiteral("Replacements"), kNotFolder);
        return;
    }
    for (auto it = folder->fileWrappers().cbegin(); it != folder->fileWrappers().cend(); ++it) {
        const QString path = QStringLiteral("Replacements/") + it.key();
        if (extensionOf(it.key()) != QLatin1String("cotrpl") || !it.value().isRegularFile()) {
            summary.rejected.insert(path, QStringLiteral(".cotrplファイルではありません"));
            continue;
        }
        try {
            BatchReplaceEngine::decodeCotReplacement(it.value().regularFileContents(), withoutExtension(it.key()));
        } catch (const BatchReplaceError& error) {
            summary.rejected.insert(path, error.errorDescription());
            continue;
        }
        const QString reason = install(it.value(), replacementDirectory_, it.key());
        if (reason.isEmpty()) summary.activated.append(path);
        else summary.rejected.insert(path, reason);
    }
}

}  // namespace korimado
