#pragma once

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace korimado {

// A row of checkable buttons of which exactly one is selected.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    QString label(int segment) const;
    int selectedSegment() const;
    // Out-of-range segments are ignored; no signal is sent.
    void setSelectedSegment(int segment);
    QAbstractButton* button(int segment) const;
    void setSmall(bool small);

Q_SIGNALS:
    // The user chose a segment.
    void segmentClicked(int segment);

private:
    QButtonGroup* group_ = nullptr;
    QStringList labels_;
};

}  // namespace korimado
