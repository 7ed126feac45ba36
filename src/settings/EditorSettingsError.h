#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// Why a settings file could not be read, exported or applied.
class EditorSettingsError : public std::exception {
public:
    enum class Kind { invalidFile, unsupportedVersion, invalidValue };

    // The JSON could not be decoded; carries the decoder's message.
    static EditorSettingsError invalidFile(const QString& decoderMessage);
    static EditorSettingsError unsupportedVersion(qint64 version);
    // Carries the Japanese name of the offending setting.
    static EditorSettingsError invalidValue(const QString& settingName);

    Kind kind() const { return kind_; }
    QString decoderMessage() const { return kind_ == Kind::invalidFile ? detail_ : QString(); }
    qint64 version() const { return version_; }
    QString settingName() const { return kind_ == Kind::invalidValue ? detail_ : QString(); }

    QString localizedDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

private:
    EditorSettingsError(Kind kind, const QString& detail, qint64 version);

    Kind kind_;
    QString detail_;
    qint64 version_ = 0;
    QByteArray what_;
};

}  // namespace korimado
