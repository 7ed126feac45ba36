#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace korimado {

// A small window that says its feature is not available yet; the scripting windows use it until
// they are built.
class StandInWindow {
public:
    StandInWindow(QString title, QString message);
    ~StandInWindow();
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;

    // Created on first use.
    QWidget* window();
    void showWindow();
    QString message() const { return message_; }

private:
    QString title_;
    QString message_;
    QPointer<QWidget> window_;
};

}  // namespace korimado
