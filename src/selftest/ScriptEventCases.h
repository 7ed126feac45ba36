#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace korimado {

// One case of the replacement reference file.
struct ReplaceCase {
    QString id;
    QString source;
    QString pattern;
    QString replacement;
    bool regex = false;
    bool ignoreCase = false;
    std::optional<int> count;
    std::optional<QString> output;
    std::optional<QString> error;
    std::optional<bool> skipExactComparison;
};

// One case of the normalization or of the typography reference file.
struct NormalizationCase {
    QString form;
    QString source;
    QString output;
    QString error;
};

// Decoding of the reference files: a JSON array of objects; unknown keys are ignored, a missing
// required key or a value of the wrong type fails the whole file with a description in error.
namespace ScriptEventCases {

std::optional<QList<ReplaceCase>> decodeReplaceCases(const QByteArray& json, QString* error);
std::optional<QList<NormalizationCase>> decodeNormalizationCases(const QByteArray& json, QString* error);

}  // namespace ScriptEventCases

}  // namespace korimado
