#pragma once

#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsResourceActivationSummary.h"

#include <QString>

#include <optional>

namespace korimado {

class EditorThemeStore;

// Installs the themes, syntax packages and replacement definitions an archive carries where the
// program finds them: themes through the theme store, packages into the user syntax folder, rule
// files into the replacement library's folder. Each item is checked first; a refused item is
// reported with its reason and never stops the others. Nothing is ever removed from the archive.
class SettingsResourceStore {
public:
    // The program's own folders.
    explicit SettingsResourceStore(EditorThemeStore& themeStore);
    SettingsResourceStore(QString syntaxDirectory, std::optional<QString> replacementDirectory,
                          EditorThemeStore& themeStore);

    const QString& syntaxDirectory() const { return syntaxDirectory_; }
    const std::optional<QString>& replacementDirectory() const { return replacementDirectory_; }

    // Handles "Themes", "Syntaxes" and "Replacements", each item in ascending name order.
    SettingsResourceActivationSummary activate(const SettingsArchive& archive) const;

    // Throws SettingsArchiveError (invalidPropertyList) naming the offending file inside the
    // package, its path beginning with the package's name.
    static void validateSyntax(const SettingsArchiveEntry& package, const QString& name);

private:
    using Summary = SettingsResourceActivationSummary;
    void activateThemes(const SettingsArchiveEntry* folder, Summary& summary) const;
    void activateSyntaxes(const SettingsArchiveEntry* folder, Summary& summary) const;
    void activateReplacements(const SettingsArchiveEntry* folder, Summary& summary) const;

    static void validateJSONFiles(const SettingsArchiveEntry& entry, const QString& path);
    static void validateHighlights(const QByteArray& data, const QString& path);
    static void validateOutlines(const QByteArray& data, const QString& path);

    QString syntaxDirectory_;
    std::optional<QString> replacementDirectory_;
    EditorThemeStore& themeStore_;
};

}  // namespace korimado
