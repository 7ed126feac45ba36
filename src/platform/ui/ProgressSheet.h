#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace korimado {

// Shown while a long job works for a window: a message, a busy bar and a cancel button, modal to
// that window (to the whole application without one). Cancelling, by the button, Escape or the
// close box, asks onCancel; the sheet stays until its owner calls finish(), so that it never
// disappears while the job is still changing things.
class ProgressSheet : public QDialog {
public:
    ProgressSheet(QWidget* parent, const QString& message);

    void setMessage(const QString& message);
    QString message() const;
    // While false the button is dimmed and a cancel request is not passed on.
    void setCancellable(bool cancellable);
    bool isCancellable() const;
    QPushButton* cancelButton() const { return cancel_; }

    // Shows the sheet once ms have passed, unless finish() came first: a short job shows nothing.
    void showAfter(int ms);
    // Closes the sheet for good and deletes it later.
    void finish();

    std::function<void()> onCancel;
    // What Escape, the close box and the button do.
    void reject() override;

private:
    QLabel* message_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool finished_ = false;
};

}  // namespace korimado
