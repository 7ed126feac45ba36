#pragma once

#include "theme/ThemeColorValue.h"
#include "theme/ThemeJSONValue.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace korimado {

// One colour entry of a theme, with every member the program does not read kept for writing back.
struct EditorThemeColor {
    // As the file wrote it: "#" and 6 or 8 hexadecimal digits, letter case untouched.
    QString hex;
    std::optional<bool> usesSystemSetting;
    ThemeJSONObject additionalValues;

    EditorThemeColor() = default;
    // Builds the entry from its JSON object; key names the entry in error messages. Throws EditorThemeError.
    EditorThemeColor(const QString& key, const QJsonObject& object);

    // The entry as it is written to a theme file.
    QJsonObject foundationValue() const;
    // The entry's own colour (never a system colour).
    ThemeColorValue color() const { return ThemeColorValue::fromHex(hex); }

    friend bool operator==(const EditorThemeColor&, const EditorThemeColor&) = default;
};

}  // namespace korimado
