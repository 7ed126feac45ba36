#pragma once

#include <QString>

namespace korimado {

// An SVG drawing made safe for the preview; pure, safe on any thread.
// Stand-in: the sanitizer is not built yet, so no drawing is shown.
class SVGPreview {
public:
    struct Output {
        QString html;  // the whole page
        QString note;  // for the preview's status line
        bool valid = false;  // the drawing produced output and can be played
    };

    SVGPreview() = delete;
    static Output page(const QString& svg);

    static inline const QString unavailableNote = QStringLiteral("SVGプレビューはまだ利用できません。");
};

}  // namespace korimado
