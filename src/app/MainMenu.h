#pragma once

#include "platform/ui/MenuModel.h"

#include <QString>

#include <memory>
#include <vector>

namespace korimado {

class Responder;

// The fixed part of the main menu, built once at launch. The window-dependent parts (Text,
// Format, Select, the recent documents and the tails of File, View and Window) are filled by
// ApplicationDelegate::refreshCommandMenus.
class MainMenu {
public:
    MainMenu() = delete;

    // Tag of the Edit menu's "選択" item, whose submenu the focused editor supplies.
    static constexpr int selectMenuTag = 7401;

    // Items the delegate keeps and refills; their submenus are replaced on every refresh.
    struct Roots {
        std::shared_ptr<MenuItem> text;
        std::shared_ptr<MenuItem> format;
        std::shared_ptr<MenuItem> recent;
    };
    struct Targets {
        Responder* delegate = nullptr;
        Responder* documentController = nullptr;
        Responder* scriptingGuide = nullptr;
    };
    struct Built {
        std::shared_ptr<MenuModel> mainMenu;
        std::shared_ptr<MenuModel> fileMenu;
        std::shared_ptr<MenuModel> viewMenu;
        std::shared_ptr<MenuModel> windowMenu;
        std::shared_ptr<MenuModel> servicesMenu;
    };

    static Built build(const Roots& roots, const Targets& targets);

    // One Find-menu command: every one is relayed by name to the key window's find panel.
    struct FindCommand {
        QString title;
        QString action;
        QString key;
        KeyModifiers modifiers;
    };
    static const std::vector<FindCommand>& findCommands();
    // The action every Find-menu item sends; its represented object names the panel's action.
    static inline const QString searchRelayAction = QStringLiteral("searchAction:");
};

}  // namespace korimado
