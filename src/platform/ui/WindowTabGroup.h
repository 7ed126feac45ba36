#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <optional>

class QTabBar;

namespace korimado {

// Window tabs: top-level windows shown as the tabs of one frame. Every window stays a top-level
// of its own, with its own menu bar; the group shows the selected one at the shared frame, hides
// the others and gives each member a tab strip listing them all (a tool bar row in a main window,
// the first row of a box layout otherwise).
//
// A window alone has no group, unless its tab bar was shown with toggleTabBar().
class WindowTabGroup : public QObject {
    Q_OBJECT

public:
    enum class TabbingMode {
        automatic,   // tabbed only when asked
        preferred,   // joins the key window's tabs when first shown
        disallowed,  // never a tab
    };
    enum class Ordering { below, above };

    // --- per window
    static WindowTabGroup* groupOf(const QWidget* window);
    // The windows of the window's group in tab order; nothing for a window without a group.
    static std::optional<QList<QWidget*>> tabbedWindows(const QWidget* window);
    // Adds other as a tab of window's group, right after window (above) or before it (below).
    // False when either window disallows tabbing or they are the same.
    static bool addTabbedWindow(QWidget* window, QWidget* other, Ordering ordered);
    static void selectNextTab(QWidget* window);
    static void selectPreviousTab(QWidget* window);
    // Takes the window out of its group into a frame of its own.
    static void moveTabToNewWindow(QWidget* window);
    // Gathers every shown window with the same tabbing identifier that allows tabbing.
    static void mergeAllWindows(QWidget* window);
    // Shows or hides the tab bar of a window that is alone; with several tabs it stays shown.
    static void toggleTabBar(QWidget* window);
    static bool isTabBarVisible(const QWidget* window);

    static void setTabbingMode(QWidget* window, TabbingMode mode);
    static TabbingMode tabbingMode(const QWidget* window);
    // Windows merge only with windows of the same identifier; the default is the class name.
    static void setTabbingIdentifier(QWidget* window, const QString& identifier);
    static QString tabbingIdentifier(const QWidget* window);

    // --- the group
    QList<QWidget*> windows() const;
    QWidget* selectedWindow() const { return selected_; }
    int count() const { return static_cast<int>(windows_.size()); }
    bool isTabBarShown() const { return windows_.size() > 1 || tabBarRequested_; }
    // Shows the window at the group's frame and hides the other tabs; does not make it key.
    void selectWindow(QWidget* window);
    // The tab strip shown in one member window (for tests and styling).
    QTabBar* tabBar(const QWidget* window) const;

Q_SIGNALS:
    void windowsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Strip {
        QPointer<QWidget> container;
        QPointer<QTabBar> tabs;
    };

    WindowTabGroup();
    ~WindowTabGroup() override;

    static WindowTabGroup* makeGroup(QWidget* first);
    void insertWindow(QWidget* window, int index);
    // Takes the window out; a selected window hands the frame to its neighbour.
    void removeWindow(QWidget* window, bool showNeighbour);
    void dissolveIfAlone();
    void addStrip(QWidget* window);
    void removeStrip(QWidget* window);
    void syncStrips();
    void hideQuietly(QWidget* window);
    void showAdjacent(QWidget* window, int step);

    QList<QPointer<QWidget>> windows_;
    QPointer<QWidget> selected_;
    QHash<const QWidget*, Strip> strips_;
    bool tabBarRequested_ = false;
    bool switching_ = false;
};

}  // namespace korimado
