#pragma once

#include <QColor>
#include <QFont>

#include <optional>

namespace korimado {

// Everything the settings decide about how one editor looks and types. Both editors of a window
// take the same value, so a second editor never drifts from the first.
struct EditorOptions {
    QFont font;
    qreal tabStopWidth = 28;  // points
    int editingTabWidth = 4;  // columns, 1…16
    bool usesSpacesForIndentation = false;
    bool automaticallyIndents = true;
    bool editable = true;
    bool rightToLeft = false;
    bool usesFontAntialiasing = true;

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
