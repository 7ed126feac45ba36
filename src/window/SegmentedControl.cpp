#include "window/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

namespace korimado {

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), labels_(labels)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group_->setExclusive(true);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(labels[i]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        group_->addButton(button, i);
        row->addWidget(button);
    }
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::segmentClicked);
}

QString SegmentedControl::label(int segment) const
{
    return labels_.value(segment);
}

int SegmentedControl::selectedSegment() const
{
    return group_->checkedId();
}

void SegmentedControl::setSelectedSegment(int segment)
{
    if (auto* b = button(segment)) b->setChecked(true);
}

QAbstractButton* SegmentedControl::button(int segment) const
{
    return group_->button(segment);
}

void SegmentedControl::setSmall(bool small)
{
    QFont f = font();
    f.setPointSizeF(small ? 11 : 13);
    setFont(f);
}

}  // namespace korimado
