#pragma once

#include "platform/ui/AlertPresenter.h"

class QWidget;

namespace korimado {

// Alerts as modal message boxes over the active window.
class QtAlertPresenter : public AlertPresenter {
public:
    int runModal(const Alert& alert) override;
    // A dialog with the alert's texts, its fields stacked below them and its buttons.
    int runModal(const Alert& alert, const QList<AlertField>& fields, QStringList& texts) override;
};

}  // namespace korimado
