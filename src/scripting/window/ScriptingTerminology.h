#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace korimado {

// The listing of the scripting terms the Help menu shows: every command with its direct
// parameter, parameters and result, then every property of the document and selection classes,
// read from the scripting dictionary at the moment it is asked for.
class ScriptingTerminology {
public:
    ScriptingTerminology() = delete;

    static inline const QString unavailableText = QStringLiteral("このビルドの用語辞書を読み込めませんでした。");

    // The listing of a dictionary's XML; none when it does not parse.
    static std::optional<QString> listing(QByteArrayView xml);
    // The listing of the bundled "Korimado.sdef", or unavailableText.
    static QString bundledListing();
};

}  // namespace korimado
