#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>

#include <exception>

namespace korimado {

// A platform failure (a file that cannot be read or written) thrown through callers that pass it
// on unchanged; the description is the one the user sees.
class PlatformError : public std::exception {
public:
    explicit PlatformError(ErrorInfo info) : info_(std::move(info)), what_(info_.description.toUtf8()) {}

    const ErrorInfo& info() const { return info_; }
    QString errorDescription() const { return info_.description; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    ErrorInfo info_;
    QByteArray what_;
};

}  // namespace korimado
