#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// Why a theme could not be read, found, installed or written; the description is what the user sees.
class EditorThemeError : public std::exception {
public:
    enum class Kind { invalidSchema, invalidColor, unavailable, alreadyImported, fileOperation, invalidJSON };

    static EditorThemeError invalidSchema(const QString& detail);
    static EditorThemeError invalidColor(const QString& key, const QString& colorText);
    static EditorThemeError unavailable(const QString& name);
    static EditorThemeError alreadyImported(const QString& name);
    // operation is "読み込み", "保存" or "書き出し".
    static EditorThemeError fileOperation(const QString& operation, const ErrorInfo& underlying);
    static EditorThemeError invalidJSON();

    Kind kind() const { return kind_; }
    // The schema detail, the theme name, the entry key or the operation, by kind.
    const QString& detail() const { return detail_; }
    // The colour text of invalidColor.
    const QString& colorText() const { return colorText_; }
    const ErrorInfo& underlying() const { return underlying_; }

    QString localizedDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

private:
    EditorThemeError(Kind kind, QString detail, QString colorText = {}, ErrorInfo underlying = {});

    Kind kind_;
    QString detail_;
    QString colorText_;
    ErrorInfo underlying_;
    QByteArray what_;
};

}  // namespace korimado
