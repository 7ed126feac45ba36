#pragma once

#include "theme/EditorThemeColor.h"
#include "theme/ThemeColorValue.h"
#include "theme/ThemeJSONValue.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace korimado {

class EditorThemeStore;
class UserDefaults;

// A colour theme as read from a ".cottheme" file. Everything the file holds that the program does
// not interpret is kept and written back.
struct EditorTheme {
    QString name;
    ThemeJSONObject metadata;
    QMap<QString, EditorThemeColor> colorValues;
    ThemeJSONObject additionalValues;

    // Parses and validates a theme file's bytes; nameFallback names a theme whose file has no
    // "name" text. Throws EditorThemeError.
    explicit EditorTheme(const QByteArray& data, const std::optional<QString>& nameFallback = std::nullopt);

    // Indented JSON with sorted keys, as written to a ".cottheme" file.
    QByteArray encodedData() const;

    // The colour painted for key: the system text colour when the theme lacks the key; a system
    // colour in place of the entry's own where the entry asks for it and the key has one.
    ThemeColorValue resolvedColor(const QString& key) const;
    // None when the theme has no entry under key, else resolvedColor(key).
    std::optional<ThemeColorValue> syntaxColor(const QString& key) const;

    static const QStringList& interfaceKeys();
    static const QStringList& syntaxKeys();
    // interfaceKeys then syntaxKeys: the 17 entries every theme must have.
    static const QStringList& requiredColorKeys();

    // "Korimado Standard", built in; used when no theme file can be loaded.
    static const EditorTheme& fallback();

    // The theme to paint with now: the one named by EditorSettingsKey::themeName (absent: "Classic"), else
    // "Classic", else the fallback. Never fails.
    static EditorTheme current();
    static EditorTheme current(const UserDefaults& defaults, const EditorThemeStore& store);

    friend bool operator==(const EditorTheme&, const EditorTheme&) = default;
};

}  // namespace korimado
