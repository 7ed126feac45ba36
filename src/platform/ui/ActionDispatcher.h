#pragma once

#include "platform/ui/Responder.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QWidget;

namespace korimado {

class MenuItem;
class MenuModel;
class WindowTracker;

// Sends actions by name along the responder chain and decides which menu items are enabled.
//
// The chain for a window: the focused widget and its parents up to the window (those that are
// Responders), the window's standard commands (WindowActions), its controller, its document;
// then the same for the main window when it is not the key window; then the application
// delegate and the document controller.
class ActionDispatcher : public QObject {
    Q_OBJECT

public:
    explicit ActionDispatcher(WindowTracker& tracker, QObject* parent = nullptr);
    ~ActionDispatcher() override;

    static ActionDispatcher& shared();
    WindowTracker& tracker() const { return tracker_; }

    // --- registration points; none of these is owned, and each is dropped once destroyed
    void setApplicationDelegate(Responder* delegate) { applicationDelegate_ = delegate; }
    Responder* applicationDelegate() const { return applicationDelegate_.get(); }
    void setDocumentController(Responder* controller) { documentController_ = controller; }
    Responder* documentController() const { return documentController_.get(); }
    // The controller and the document of a top-level window; nullptr removes them.
    void setWindowController(QWidget* window, Responder* controller);
    Responder* windowController(const QWidget* window) const;
    void setWindowDocument(QWidget* window, Responder* document);
    Responder* windowDocument(const QWidget* window) const;

    // --- dispatch; window nullptr stands for the key window
    QList<Responder*> responderChain(QWidget* window = nullptr) const;
    // The explicit target when it responds, else the first responder of the chain that does.
    Responder* targetForAction(const QString& action, Responder* target = nullptr, QWidget* window = nullptr) const;
    // True when someone performed the action.
    bool sendAction(const QString& action, Responder* target, MenuItem* sender, QWidget* window = nullptr);

    // --- menu items
    // Sets and returns whether the item is enabled: items whose action nobody handles are not;
    // otherwise the handler decides (enabled when it has no opinion).
    bool validateItem(MenuItem& item, QWidget* window = nullptr) const;
    // Validates the menu's own items (submenus are validated when they open).
    void validateMenu(MenuModel& menu, QWidget* window = nullptr) const;
    // Validates the item again and sends its action when it is enabled; true when sent.
    bool performItem(MenuItem& item, QWidget* window = nullptr);

private:
    Responder* itemTarget(const MenuItem& item, QWidget* window) const;
    void appendWindowChain(QList<Responder*>& chain, QWidget* window) const;
    void watch(QWidget* window);

    WindowTracker& tracker_;
    ResponderRef applicationDelegate_;
    ResponderRef documentController_;
    QHash<const QObject*, ResponderRef> controllers_;
    QHash<const QObject*, ResponderRef> documents_;
};

}  // namespace korimado
