#include "settings/EditorSettingsError.h"

namespace korimado {

EditorSettingsError::EditorSettingsError(Kind kind, const QString& detail, qint64 version)
    : kind_(kind), detail_(detail), version_(version)
{
    what_ = localizedDescription().toUtf8();
}

EditorSettingsError EditorSettingsError::invalidFile(const QString& decoderMessage)
{
    return EditorSettingsError(Kind::invalidFile, decoderMessage, 0);
}

EditorSettingsError EditorSettingsError::unsupportedVersion(qint64 version)
{
    return EditorSettingsError(Kind::unsupportedVersion, QString(), version);
}

EditorSettingsError EditorSettingsError::invalidValue(const QString& settingName)
{
    return EditorSettingsError(Kind::invalidValue, settingName, 0);
}

QString EditorSettingsError::localizedDescription() const
{
    switch (kind_) {
    case Kind::invalidFile:
        return QStringLiteral("設定ファイルを読み込めません。Korimadoが書き出したJSONファイルを選んでください。");
    case Kind::unsupportedVersion:
        return QStringLiteral("設定ファイルの形式（バージョン") + QString::number(version_) +
               QStringLiteral("）には対応していません。");
    case Kind::invalidValue:
        return QStringLiteral("設定ファイルの「") + detail_ + QStringLiteral("」に使用できない値があります。設定は変更していません。");
    }
    return {};
}

}  // namespace korimado
