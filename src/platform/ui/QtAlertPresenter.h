#pragma once

#include "platform/ui/AlertPresenter.h"

class QWidget;

namespace korimado {

// Alerts as modal message boxes over the active window.
class QtAlertPresenter : public AlertPresenter {
public:
    int runModal(const Alert& alert) override;
};

}  // namespace korimado
