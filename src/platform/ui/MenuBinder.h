#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

class QAction;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QPoint;
class QWidget;

namespace korimado {

class ActionDispatcher;
class MenuItem;
class MenuModel;

// Shows the one main menu in the menu bar of every attached window and follows every change to
// it. Items are validated before a menu opens and again before their action is sent, for the
// window whose menu bar (or shortcut) was used. Key equivalents become window shortcuts.
class MenuBinder : public QObject {
    Q_OBJECT

public:
    explicit MenuBinder(ActionDispatcher& dispatcher, QObject* parent = nullptr);
    ~MenuBinder() override;

    static MenuBinder& shared();

    void setMainMenu(std::shared_ptr<MenuModel> menu);
    MenuModel* mainMenu() const { return mainMenu_.get(); }
    // The Window menu: while open it also lists the windows, the key one checked.
    void setWindowsMenu(std::shared_ptr<MenuModel> menu) { windowsMenu_ = std::move(menu); }
    MenuModel* windowsMenu() const { return windowsMenu_.get(); }
    // Kept for the program; the platform has no services to list in it.
    void setServicesMenu(std::shared_ptr<MenuModel> menu) { servicesMenu_ = std::move(menu); }
    MenuModel* servicesMenu() const { return servicesMenu_.get(); }

    // Gives the window a menu bar showing the main menu, until the window is destroyed.
    QMenuBar* attach(QWidget* window);
    void detach(QWidget* window);
    QMenuBar* menuBar(const QWidget* window) const;
    // Shows menu as a pop-up at globalPosition until it closes; its items act for window.
    void popUp(std::shared_ptr<MenuModel> menu, QWidget* window, const QPoint& globalPosition);

    // A key press offered to the main menu: the item whose key equivalent it is (an alternate key
    // only where no item holds it as its own) is validated and performed for the window, as its
    // shortcut would be. True when an item took the key.
    bool performKeyEquivalent(const QKeyEvent& event, QWidget* window);

    // What shows an item or a menu in a window's menu bar (for tests and self-tests).
    QAction* actionFor(const QWidget* window, const MenuItem* item) const;
    QMenu* menuFor(const QWidget* window, const MenuModel* menu) const;

    ActionDispatcher& dispatcher() const { return dispatcher_; }

private:
    class Bound;
    struct Binding;

    ActionDispatcher& dispatcher_;
    std::shared_ptr<MenuModel> mainMenu_;
    std::shared_ptr<MenuModel> windowsMenu_;
    std::shared_ptr<MenuModel> servicesMenu_;
    QHash<const QObject*, std::shared_ptr<Binding>> bindings_;
};

}  // namespace korimado
