#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QDialog;

namespace korimado {

// A modal alert, question or panel that a suite did not ask for would wait for an answer nobody
// gives. The watch names it to the suite, which records the failure, writes its report and ends by
// its rule; the dialog is then answered with its cancel button (or closed) and the suite is never
// resumed again: its later checks, lines and reports are dropped.
class SuiteAlertWatch : public QObject {
public:
    using End = std::function<void(const QString& alert)>;

    static SuiteAlertWatch& shared();

    // Watches from now on; end is how the running suite records the alert and ends.
    void start(End end);
    // The suite ended by itself: from now on only a termination it asked for is watched.
    void suiteEnded() { running_ = false; }
    void terminationRequested() { terminating_ = true; }

    // True once an unexpected alert ended the suite.
    static bool abandoned();

    // While one is alive the suite waits for a dialog of its own; one still open when the last
    // of them goes is unexpected after all.
    class Expected {
    public:
        Expected();
        ~Expected();
        Expected(const Expected&) = delete;
        Expected& operator=(const Expected&) = delete;
    };

    // The words that name a dialog: a message box's text, else its title.
    static QString describe(const QDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SuiteAlertWatch() = default;
    void inspect(QPointer<QDialog> dialog);
    void inspectOpenDialogs();
    static void answer(QDialog* dialog);

    End end_;
    bool installed_ = false;
    bool running_ = false;
    bool terminating_ = false;
    bool abandoned_ = false;
    int expected_ = 0;
};

}  // namespace korimado
