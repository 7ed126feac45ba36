#pragma once

#include "platform/ui/AlertPresenter.h"

#include <QList>

#include <deque>

namespace korimado {

// Answers alerts from a queue and records every alert shown. With the queue empty it answers
// the default button (0).
class ScriptedAlertPresenter : public AlertPresenter {
public:
    void enqueueAnswer(int buttonIndex) { answers_.push_back(buttonIndex); }
    const QList<Alert>& shown() const { return shown_; }
    void clear() { shown_.clear(); answers_.clear(); }

    int runModal(const Alert& alert) override
    {
        shown_.append(alert);
        if (answers_.empty()) return 0;
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

private:
    std::deque<int> answers_;
    QList<Alert> shown_;
};

}  // namespace korimado
