#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korimado {

class UserDefaults;

// All editor settings as one value, read at once from user defaults; also the content of the
// program's own JSON settings file. A default-constructed snapshot holds what empty defaults read as.
struct EditorSettingsSnapshot {
    qint64 schemaVersion = 1;
    QString fontName;  // empty: the monospaced system font
    double fontSize = 14;
    bool wrap = true;
    bool autoplay = true;
    bool hiddenFiles = false;
    qint64 appearance = 0;  // 0 follows the system, 1 light, 2 dark
    qint64 tokenIndex = 1;
    qint64 tabWidth = 4;
    bool useSpaces = false;
    bool lineNumbers = true;
    bool statusBar = true;
    bool invisibles = false;
    bool showPageGuide = false;
    qint64 pageGuideColumn = 80;
    bool spelling = false;
    QString defaultEncoding = QStringLiteral("UTF-8");
    QString defaultLineEnding = QStringLiteral("LF");
    qint64 treeSortOrder = 0;
    std::optional<QString> themeName = QStringLiteral("Classic");

    EditorSettingsSnapshot() = default;
    // Never fails: absent keys take their defaults and out-of-range values their fallbacks.
    explicit EditorSettingsSnapshot(const UserDefaults& defaults);

    // Returns the snapshot unchanged, or throws EditorSettingsError for the first bad value.
    EditorSettingsSnapshot validated() const;
    // Validates, then writes every setting; nothing is written when validation fails.
    void applying(UserDefaults& defaults) const;

    // Pretty-printed JSON with sorted keys.
    QByteArray encoded() const;
    // Strict: every key but "themeName" present with its exact type; throws EditorSettingsError
    // (invalid file) otherwise. Values are not range-checked here.
    static EditorSettingsSnapshot decoded(const QByteArray& json);

    friend bool operator==(const EditorSettingsSnapshot&, const EditorSettingsSnapshot&) = default;
};

}  // namespace korimado
