#pragma once

#include "platform/ui/FilePanels.h"

namespace korimado {

// Open and save panels as Qt file dialogs. The open panel can accept folders beside files, and
// shows the accessory pop-up under its file list.
class QtFilePanels : public FilePanels {
public:
    OpenPanelResult runOpenPanel(const OpenPanelOptions& options) override;
    SavePanelResult runSavePanel(const SavePanelOptions& options) override;
};

}  // namespace korimado
