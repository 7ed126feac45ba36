#include "platform/ui/FontLookup.h"

#include <QFontDatabase>

#include <fontconfig/fontconfig.h>

namespace korimado {

std::optional<FontLookup::Face> FontLookup::postScriptFace(const QString& name)
{
    if (name.isEmpty()) return std::nullopt;
    const QByteArray utf8 = name.toUtf8();
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_POSTSCRIPT_NAME, reinterpret_cast<const FcChar8*>(utf8.constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    std::optional<Face> face;
    if (fonts && fonts->nfont > 0) {
        FcChar8* family = nullptr;
        FcChar8* style = nullptr;
        if (FcPatternGetString(fonts->fonts[0], FC_FAMILY, 0, &family) == FcResultMatch) {
            face = Face{QString::fromUtf8(reinterpret_cast<const char*>(family)), QString()};
            if (FcPatternGetString(fonts->fonts[0], FC_STYLE, 0, &style) == FcResultMatch) {
                face->style = QString::fromUtf8(reinterpret_cast<const char*>(style));
            }
        }
    }
    if (fonts) FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return face;
}

std::optional<QFont> FontLookup::installedFont(const QString& name)
{
    if (name.isEmpty()) return std::nullopt;
    if (QFontDatabase::hasFamily(name)) return QFont(name);
    const std::optional<Face> face = postScriptFace(name);
    if (!face || !QFontDatabase::hasFamily(face->family)) return std::nullopt;
    QFont font(face->family);
    if (!face->style.isEmpty()) font.setStyleName(face->style);
    return font;
}

}  // namespace korimado
