#pragma once

#include <QString>

namespace korimado {

// An SVG drawing made safe for the preview: parsed as XML and written out again through an
// allow-list of elements and harmless attributes. Pure, safe on any thread.
class SVGPreview {
public:
    struct Output {
        QString html;        // the whole page
        QString note;        // for the preview's status line
        bool valid = false;  // the drawing produced output and can be played
    };

    // The failures, in the error domain "SVG".
    enum class Error { limits = 1, tooLarge = 2, declarations = 3, rootNotSVG = 4 };

    static constexpr qsizetype maximumLength = 2'000'000;
    static constexpr int maximumElements = 30'000;
    static constexpr int maximumDepth = 127;

    SVGPreview() = delete;
    static Output page(const QString& svg);
    static QString message(Error error);
    static const QString& head();
    // "&", "<", ">" and the double quote as entities.
    static void appendEscaped(QString& out, QStringView text);
};

}  // namespace korimado
