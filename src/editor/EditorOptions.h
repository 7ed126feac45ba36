#pragma once

#include <QColor>
#include <QFont>

#include <optional>

namespace korimado {

// Everything the settings and the Format menu decide about how one editor looks and types: the
// one home of these values. A second editor starts from the first one's value; from then on each
// editor keeps its own, and a settings change replaces only the settings' part of it.
struct EditorOptions {
    QFont font;
    int tabWidth = 4;  // columns, 1…16; a tab stop is as wide as that many digits of the font
    bool usesSpacesForIndentation = false;
    bool automaticallyIndents = true;
    bool editable = true;
    bool rightToLeft = false;
    bool usesFontAntialiasing = true;
    // Kept and shown in the Format menu; the text system lays text out horizontally and shapes
    // ligatures as the font does, whatever they say.
    bool usesLigatures = false;
    bool vertical = false;

    bool showsInvisibleCharacters = false;
    bool showsControlCharacters = false;
    bool showsIndentGuides = false;
    std::optional<int> pageGuideColumn;
    bool rulersVisible = false;

    QColor backgroundColor{Qt::white};
    QColor textColor{Qt::black};
    QColor insertionPointColor{Qt::black};
    QColor selectedTextBackgroundColor{QColor(0xb4, 0xd5, 0xfe)};

    friend bool operator==(const EditorOptions&, const EditorOptions&) = default;
};

}  // namespace korimado
