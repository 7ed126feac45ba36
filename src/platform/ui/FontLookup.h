#pragma once

#include <QFont>
#include <QString>

#include <optional>

namespace korimado {

// Fonts by the names settings files carry: a family, or the PostScript name of one face (as
// other systems store fonts), resolved through fontconfig.
class FontLookup {
public:
    FontLookup() = delete;

    struct Face {
        QString family;
        QString style;
    };
    // The installed face with exactly this PostScript name.
    static std::optional<Face> postScriptFace(const QString& name);
    // An installed family of that name, else the face with that PostScript name; none when neither.
    static std::optional<QFont> installedFont(const QString& name);
};

}  // namespace korimado
