#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace korimado {

// The Unicode normalization forms scripts ask for by name: "NFC", "NFD", "NFKC", "NFKD",
// "NFKC Casefold", and "Modified NFC" and "Modified NFD", which leave U+2000…U+2FFF and the CJK
// compatibility ideographs exactly as they are and normalize the runs between them on their own.
class ScriptNormalization {
public:
    ScriptNormalization() = delete;

    // The seven names, compared exactly.
    static const QStringList& formNames();
    // None for a name that is not one of the seven.
    static std::optional<QString> apply(const QString& text, const QString& form);
    // Whether a scalar is kept as it is by the modified forms.
    static bool isSpared(char32_t scalar);
};

}  // namespace korimado
