#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class QTime;
class QWidget;

namespace korimado {

class MenuItem;
class ScriptOutputView;

// The process-wide console scripts write to ("write to console"), also shown by the Help menu's
// "コンソール". It only collects lines, keeping the newest 1,048,576 UTF-16 units; closing the
// window keeps its text for the next time.
class ScriptConsole {
public:
    static constexpr qsizetype maximumLength = 1048576;

    static ScriptConsole& shared();

    // Appends one line ("Korimado: " first with title, the time and a space with timestamp, then
    // text and a line feed), drops the oldest text beyond the limit, shows the window and scrolls
    // to the end.
    void append(const QString& text, bool title, bool timestamp);
    void showWindow(MenuItem* sender = nullptr);

    QWidget* window();
    ScriptOutputView* text();

    // The time of a timestamp: the medium time style of the user's locale. Tests set the clock.
    static QString timestamp(const QTime& time);
    void setClock(std::function<QTime()> clock) { clock_ = std::move(clock); }

private:
    ScriptConsole();
    void build();

    QPointer<QWidget> window_;
    ScriptOutputView* text_ = nullptr;
    std::function<QTime()> clock_;
};

}  // namespace korimado
