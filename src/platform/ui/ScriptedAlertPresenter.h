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
    // What the next alert with fields gets typed into them (missing texts keep their initial text).
    void enqueueFieldTexts(const QStringList& texts) { fieldTexts_.push_back(texts); }
    const QList<Alert>& shown() const { return shown_; }
    // The fields of each alert shown with fields, in order.
    const QList<QList<AlertField>>& shownFields() const { return shownFields_; }
    void clear()
    {
        shown_.clear();
        answers_.clear();
        fieldTexts_.clear();
        shownFields_.clear();
    }

    using AlertPresenter::runModal;
    int runModal(const Alert& alert, const QList<AlertField>& fields, QStringList& texts) override
    {
        shownFields_.append(fields);
        texts.clear();
        for (const AlertField& field : fields) texts.append(field.text);
        if (!fieldTexts_.empty()) {
            const QStringList typed = fieldTexts_.front();
            fieldTexts_.pop_front();
            for (qsizetype i = 0; i < typed.size() && i < texts.size(); ++i) texts[i] = typed[i];
        }
        return runModal(alert);
    }

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
    std::deque<QStringList> fieldTexts_;
    QList<QList<AlertField>> shownFields_;
    QList<Alert> shown_;
};

}  // namespace korimado
