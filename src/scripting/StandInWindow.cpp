#include "scripting/StandInWindow.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace korimado {

StandInWindow::StandInWindow(QString title, QString message) : title_(std::move(title)), message_(std::move(message)) {}

StandInWindow::~StandInWindow()
{
    delete window_;
}

QWidget* StandInWindow::window()
{
    if (!window_) {
        window_ = new QWidget(nullptr, Qt::Window);
        window_->setWindowTitle(title_);
        auto* label = new QLabel(message_, window_);
        label->setWordWrap(true);
        auto* layout = new QVBoxLayout(window_);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->addWidget(label);
        window_->resize(420, 140);
    }
    return window_;
}

void StandInWindow::showWindow()
{
    QWidget* w = window();
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace korimado
