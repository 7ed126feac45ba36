#include "theme/EditorThemeColor.h"

#include "theme/EditorThemeError.h"

namespace korimado {

EditorThemeColor::EditorThemeColor(const QString& key, const QJsonObject& object)
{
    const QJsonValue color = object.value(QLatin1String("color"));
    if (!color.isString()) {
        throw EditorThemeError::invalidSchema(QStringLiteral("「") + key + QStringLiteral("」にcolorがありません。"));
    }
    hex = color.toString();
    if (!ThemeColorValue::isValidHex(hex)) throw EditorThemeError::invalidColor(key, hex);

    const auto system = object.constFind(QLatin1String("usesSystemSetting"));
    if (system != object.constEnd()) {
        if (!system->isBool()) {
            throw EditorThemeError::invalidSchema(QStringLiteral("「") + key
                                                  + QStringLiteral("」のusesSystemSettingは真偽値で指定してください。"));
        }
        usesSystemSetting = system->toBool();
    }

    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("color") || it.key() == QLatin1String("usesSystemSetting")) continue;
        additionalValues.insert(it.key(), ThemeJSONValue(it.value()));
    }
}

QJsonObject EditorThemeColor::foundationValue() const
{
    QJsonObject object;
    for (auto it = additionalValues.begin(); it != additionalValues.end(); ++it) {
        object.insert(it.key(), it.value().foundationValue());
    }
    object.insert(QLatin1String("color"), hex);
    if (usesSystemSetting) object.insert(QLatin1String("usesSystemSetting"), *usesSystemSetting);
    return object;
}

}  // namespace korimado
