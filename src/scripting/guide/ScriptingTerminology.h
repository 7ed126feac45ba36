#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace korimado {

// The listing of the scripting terms the Help menu shows (wire::TerminologyListing, which the
// command-line client prints too), read from the bundled dictionary whenever it is asked for.
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
