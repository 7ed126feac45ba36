#pragma once

#include "theme/EditorTheme.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace korimado::test {

// A valid theme object: every required key with a distinct colour.
inline QJsonObject themeObject(const QString& name = QStringLiteral("Sample"))
{
    QJsonObject top;
    if (!name.isNull()) top.insert(QStringLiteral("name"), name);
    int shade = 0x10;
    for (const QString& key : EditorTheme::requiredColorKeys()) {
        top.insert(key, QJsonObject{{QStringLiteral("color"), QStringLiteral("#1020%1").arg(shade, 2, 16, QLatin1Char('0'))}});
        shade += 8;
    }
    top.insert(QStringLiteral("background"), QJsonObject{{QStringLiteral("color"), QStringLiteral("#ffffff")}});
    top.insert(QStringLiteral("text"), QJsonObject{{QStringLiteral("color"), QStringLiteral("#000000")}});
    return top;
}

inline QByteArray themeBytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson();
}

inline QByteArray themeBytes(const QString& name = QStringLiteral("Sample"))
{
    return themeBytes(themeObject(name));
}

}  // namespace korimado::test
