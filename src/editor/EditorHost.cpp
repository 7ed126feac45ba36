#include "editor/EditorHost.h"

#include "document/KoriDocument.h"
#include "platform/ui/WindowController.h"

namespace korimado {

EditorHost* EditorHost::of(const KoriDocument& document)
{
    if (document.windowControllers().empty()) return nullptr;
    return dynamic_cast<EditorHost*>(document.windowControllers().front().get());
}

}  // namespace korimado
