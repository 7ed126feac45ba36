#pragma once

#include "platform/ui/MenuModel.h"
#include "platform/ui/Responder.h"

#include <QSet>
#include <QStringList>

namespace korimado::test {

// Handles the given actions by writing "name:action" to a shared log; actions listed in
// disabled validate as false.
class RecordingResponder : public Responder {
public:
    RecordingResponder(const QString& name, const QStringList& actions, QStringList* log) : name_(name), log_(log)
    {
        for (const QString& action : actions)
            registerAction(
                action,
                [this, action](MenuItem* sender) {
                    lastSender = sender;
                    log_->append(name_ + ":" + action);
                },
                [this, action](MenuItem&) -> std::optional<bool> {
                    if (disabled.contains(action))
                        return false;
                    return std::nullopt;
                });
    }

    QSet<QString> disabled;
    MenuItem* lastSender = nullptr;

private:
    QString name_;
    QStringList* log_;
};

}  // namespace korimado::test
