#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>

#include <exception>

namespace korimado {

// Why a settings archive could not be read, written or stored; the description is what the user sees.
class SettingsArchiveError : public std::exception {
public:
    enum class Kind { missingFile, invalidPropertyList, invalidInfo, unsafeEntry, fileOperation, notPackage, tooLarge };

    static SettingsArchiveError missingFile(const QString& name);
    static SettingsArchiveError invalidPropertyList(const QString& name);
    static SettingsArchiveError invalidInfo(const QString& reason);
    static SettingsArchiveError unsafeEntry(const QString& name);
    // operation is "読み込み", "書き出し" or "保存".
    static SettingsArchiveError fileOperation(const QString& operation, const ErrorInfo& underlying);
    static SettingsArchiveError notPackage();
    static SettingsArchiveError tooLarge();

    Kind kind() const { return kind_; }
    // The entry name, the reason or the operation, by kind.
    const QString& detail() const { return detail_; }
    const ErrorInfo& underlying() const { return underlying_; }

    QString localizedDescription() const;
    const char* what() const noexcept override { return what_.constData(); }

private:
    SettingsArchiveError(Kind kind, QString detail, ErrorInfo underlying = {});

    Kind kind_;
    QString detail_;
    ErrorInfo underlying_;
    QByteArray what_;
};

}  // namespace korimado
