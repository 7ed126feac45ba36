#pragma once

#include "platform/ui/FilePanels.h"

#include <QList>

#include <deque>

namespace korimado {

// Answers panels from queues and records the options of every panel shown. With a queue
// empty the panel is cancelled.
class ScriptedFilePanels : public FilePanels {
public:
    void enqueueOpen(OpenPanelResult result) { opens_.push_back(std::move(result)); }
    void enqueueSave(SavePanelResult result) { saves_.push_back(std::move(result)); }
    const QList<OpenPanelOptions>& openPanels() const { return openShown_; }
    const QList<SavePanelOptions>& savePanels() const { return saveShown_; }

    OpenPanelResult runOpenPanel(const OpenPanelOptions& options) override
    {
        openShown_.append(options);
        if (opens_.empty()) return {};
        OpenPanelResult result = opens_.front();
        opens_.pop_front();
        return result;
    }

    SavePanelResult runSavePanel(const SavePanelOptions& options) override
    {
        saveShown_.append(options);
        if (saves_.empty()) return {};
        SavePanelResult result = saves_.front();
        saves_.pop_front();
        return result;
    }

private:
    std::deque<OpenPanelResult> opens_;
    std::deque<SavePanelResult> saves_;
    QList<OpenPanelOptions> openShown_;
    QList<SavePanelOptions> saveShown_;
};

}  // namespace korimado
