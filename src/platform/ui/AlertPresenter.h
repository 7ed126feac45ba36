#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

namespace korimado {

// A text field shown under an alert's texts, for a short answer.
struct AlertField {
    QString text;  // initial text
    QString placeholder;
    QString accessibilityName;
    int width = 0;  // points; 0 for the natural width
};

struct Alert {
    enum class Style { informational, warning, critical };
    QString messageText;
    QString informativeText;
    QStringList buttons;  // the first is the default; empty means one "OK"
    Style style = Style::warning;
    // A long text shown under the others in a scrolling, selectable view of accessorySize.
    QString accessoryText = {};
    QSize accessorySize{520, 250};
    // A window the alert is modal to while it is shown; else the whole application waits.
    QWidget* parent = nullptr;
};

// Asks the user a question or tells them of an error. Windows answer through QtAlertPresenter;
// tests answer through ScriptedAlertPresenter.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;

    // Shows the alert and returns the index of the chosen button (0 when there are none).
    virtual int runModal(const Alert& alert) = 0;

    // Shows an alert with fields; texts receives the fields' texts as the user left them (their
    // initial texts when the presenter has no fields to show).
    // Fields are stacked top to bottom under the texts.
    virtual int runModal(const Alert& alert, const QList<AlertField>& fields, QStringList& texts)
    {
        texts.clear();
        for (const AlertField& field : fields) texts.append(field.text);
        return runModal(alert);
    }

    void presentError(const ErrorInfo& error, QWidget* parent = nullptr)
    {
        Alert alert{error.description, error.recoverySuggestion, {QStringLiteral("OK")}, Alert::Style::critical};
        alert.parent = parent;
        runModal(alert);
    }

    // The presenter used when none is given explicitly; may be null (alerts are then dropped
    // and questions get the default answer).
    static AlertPresenter* shared() { return sharedSlot(); }
    static void setShared(AlertPresenter* presenter) { sharedSlot() = presenter; }

private:
    static AlertPresenter*& sharedSlot()
    {
        static AlertPresenter* presenter = nullptr;
        return presenter;
    }
};

}  // namespace korimado
