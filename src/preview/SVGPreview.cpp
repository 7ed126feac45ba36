#include "preview/SVGPreview.h"

namespace korimado {

SVGPreview::Output SVGPreview::page(const QString&)
{
    return {QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"></head><body></body></html>"),
            unavailableNote, false};
}

}  // namespace korimado
