#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace korimado {

// A control shown below a panel's file list: a pop-up button with its choices.
struct PanelAccessory {
    QStringList items;
    int selectedIndex = 0;
    QString accessibilityLabel;
    QSize size{220, 28};
    QString label = {};  // shown before the pop-up; the accessibility label when empty
};

struct OpenPanelOptions {
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    QString prompt;   // the confirm button's title
    QString message;  // shown above the file list
    QString directory;
    // The kinds of file offered, as "説明 (*.ext *.ext2)"; empty: every file.
    QStringList nameFilters;
    std::optional<PanelAccessory> accessory;
    // Folders with these extensions are one item: picked when chosen, never entered.
    QStringList packageExtensions;
    // A window the panel is modal to while it is shown; else the whole application waits.
    QWidget* parent = nullptr;
};

struct OpenPanelResult {
    bool confirmed = false;
    QStringList paths;
    int accessorySelection = -1;  // the pop-up's choice when there was an accessory
};

struct SavePanelOptions {
    QString prompt;
    QString message;
    QString directory;
    QString nameFieldValue;
    QStringList nameFilters;  // as for the open panel
    std::optional<PanelAccessory> accessory;
    QStringList packageExtensions;  // as for the open panel
    QWidget* parent = nullptr;      // as for the open panel
};

struct SavePanelResult {
    bool confirmed = false;
    QString path;
    int accessorySelection = -1;  // the pop-up's choice when there was an accessory
};

// Open and save panels behind an interface, so that tests answer them without a human.
class FilePanels {
public:
    virtual ~FilePanels() = default;
    virtual OpenPanelResult runOpenPanel(const OpenPanelOptions& options) = 0;
    virtual SavePanelResult runSavePanel(const SavePanelOptions& options) = 0;

    // The panels used when none is given explicitly; may be null (panels are then cancelled).
    static FilePanels* shared() { return sharedSlot(); }
    static void setShared(FilePanels* panels) { sharedSlot() = panels; }

private:
    static FilePanels*& sharedSlot()
    {
        static FilePanels* panels = nullptr;
        return panels;
    }
};

}  // namespace korimado
