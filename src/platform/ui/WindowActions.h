#pragma once

#include "platform/ui/Responder.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace korimado {

// The window's own place in the responder chain: the standard window commands ("performClose:",
// "performMiniaturize:", "performZoom:", "toggleFullScreen:") and the tab commands
// ("toggleTabBar:", "selectNextTab:", "selectPreviousTab:", "moveTabToNewWindow:",
// "mergeAllWindows:"). One per window, made on first use and destroyed with it.
class WindowActions : public QObject, public Responder {
    Q_OBJECT

public:
    static WindowActions* forWindow(QWidget* window);

    // Window levels as the program counts them: normal windows at 0, floating ones (kept above
    // the others) at 3.
    static constexpr int normalLevel = 0;
    static constexpr int floatingLevel = 3;
    static int level(const QWidget* window);
    static void setLevel(QWidget* window, int level);

    QWidget* window() const { return window_; }

private:
    explicit WindowActions(QWidget* window);
    bool hasOtherMergeableWindow() const;

    QPointer<QWidget> window_;
};

}  // namespace korimado
