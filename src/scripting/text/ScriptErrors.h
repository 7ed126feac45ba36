#pragma once

#include <QString>

namespace korimado {

// The error numbers a script is answered with, each under one name, and the messages that more
// than one place gives.
struct ScriptErrors {
    // Not a value or an object the command takes.
    static constexpr int cannotCoerce = -1700;
    static constexpr int unknownNormalizationForm = -1703;
    // A command its target does not answer.
    static constexpr int notSupported = -1708;
    static constexpr int noSuchObject = -1728;
    // An invalid or too costly expression, or a failed encoding change, re-read or save; the
    // message says which.
    static constexpr int failed = -2700;
    // A close or a quit asked for while a dialog is up.
    static constexpr int dialogOpen = -10000;
    static constexpr int readOnly = -10003;
    static constexpr int notEditable = -10006;

    static inline const QString notSupportedMessage = QStringLiteral("このスクリプトコマンドには対応していません。");
    static inline const QString noSuchObjectMessage = QStringLiteral("指定したオブジェクトがありません。");
    static inline const QString readOnlyMessage = QStringLiteral("このプロパティは読取専用です。");
};

}  // namespace korimado
