#include "platform/ui/ProgressSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korimado {

ProgressSheet::ProgressSheet(QWidget* parent, const QString& message) : QDialog(parent)
{
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setAttribute(Qt::WA_DeleteOnClose, false);

    message_ = new QLabel(message, this);
    message_->setWordWrap(true);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: how long the job takes is not known
    bar->setTextVisible(false);
    bar->setMinimumWidth(320);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addWidget(bar);
    layout->addLayout(buttons);
}

void ProgressSheet::setMessage(const QString& message)
{
    message_->setText(message);
}

QString ProgressSheet::message() const
{
    return message_->text();
}

void ProgressSheet::setCancellable(bool cancellable)
{
    cancel_->setEnabled(cancellable);
}

bool ProgressSheet::isCancellable() const
{
    return cancel_->isEnabled();
}

void ProgressSheet::showAfter(int ms)
{
    QPointer<ProgressSheet> self(this);
    QTimer::singleShot(ms, this, [self] {
        if (self && !self->finished_) self->open();
    });
}

void ProgressSheet::finish()
{
    if (finished_) return;
    finished_ = true;
    QDialog::reject();
    deleteLater();
}

void ProgressSheet::reject()
{
    if (finished_) return QDialog::reject();
    if (isCancellable() && onCancel) onCancel();
}

}  // namespace korimado
