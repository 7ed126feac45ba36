#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>

class QWindow;

namespace korimado {

// Which top-level window is key (receives keyboard input and menu commands) and which is main
// (the document window the user works in; a panel can be key while another window stays main).
// Follows the application's focus and activation; code and tests can also make a window key
// directly, since a platform without a window manager never activates anything.
class WindowTracker : public QObject {
    Q_OBJECT

public:
    explicit WindowTracker(QObject* parent = nullptr);
    ~WindowTracker() override;

    static WindowTracker& shared();

    QWidget* keyWindow() const { return key_; }
    QWidget* mainWindow() const { return main_; }

    // Shows the window (selecting its tab when it is one), raises it and makes it key, and main
    // when it can be.
    void makeKeyAndOrderFront(QWidget* window);
    // Makes a shown window key without raising it.
    void makeKeyWindow(QWidget* window);

    // Windows that have been key, most recently key first; hidden ones included.
    QList<QWidget*> orderedWindows() const;

    // Tool windows, dialogs and popups never become main unless allowed here; other windows
    // always can unless forbidden here.
    void setCanBecomeMain(QWidget* window, bool can);
    bool canBecomeMain(const QWidget* window) const;

Q_SIGNALS:
    void keyWindowChanged(QWidget* key, QWidget* previous);
    void mainWindowChanged(QWidget* main, QWidget* previous);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QWidget* trackableWindow(QWidget* widget);
    void focusWindowChanged(QWindow* window);
    void setKey(QWidget* window);
    void setMain(QWidget* window);
    void track(QWidget* window);
    void windowHidden(QWidget* window);
    void windowDestroyed(QObject* window);
    QWidget* nextWindow(const QWidget* excluded, bool forMain) const;

    QPointer<QWidget> key_;
    QPointer<QWidget> main_;
    QList<QPointer<QWidget>> order_;
    QSet<const QObject*> tracked_;
    QHash<const QObject*, bool> canBecomeMain_;
    const QObject* keyId_ = nullptr;
    const QObject* mainId_ = nullptr;
};

}  // namespace korimado
