#pragma once

#include <QString>

namespace korimado {

// An error as the user sees it: where it comes from, its code, what went wrong and what to do.
struct ErrorInfo {
    QString domain;
    int code = 0;
    QString description;
    QString recoverySuggestion;

    // The user cancelled what failed: nothing to tell them.
    static ErrorInfo userCancelled() { return ErrorInfo{QStringLiteral("Cocoa"), userCancelledCode, {}, {}}; }
    bool isUserCancelled() const { return domain == QLatin1String("Cocoa") && code == userCancelledCode; }
    static constexpr int userCancelledCode = 3072;

    // The error's textual representation, as printed in diagnostics.
    QString debugDescription() const
    {
        QString text = domain + " " + QString::number(code) + ": " + description;
        if (!recoverySuggestion.isEmpty()) text += " (" + recoverySuggestion + ")";
        return text;
    }
};

}  // namespace korimado
