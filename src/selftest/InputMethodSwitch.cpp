#include "selftest/InputMethodSwitch.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace korimado {

namespace {

const QString service = QStringLiteral("org.fcitx.Fcitx5");

QDBusMessage call(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, QStringLiteral("/controller"),
                                                          QStringLiteral("org.fcitx.Fcitx.Controller1"), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 3000);
}

QVariant first(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() ? reply.arguments().first() : QVariant();
}

}  // namespace

QString InputMethodSwitch::present()
{
    // Asked without starting it: activating the name would start a second input method.
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service).value() ? QStringLiteral("fcitx5") : QString();
}

QString InputMethodSwitch::current()
{
    return first(call(QStringLiteral("CurrentInputMethod"))).toString();
}

QStringList InputMethodSwitch::sources()
{
    const QString group = first(call(QStringLiteral("CurrentInputMethodGroup"))).toString();
    const QDBusMessage reply = call(QStringLiteral("InputMethodGroupInfo"), {group});
    QStringList names;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) return names;
    const QDBusArgument items = reply.arguments().at(1).value<QDBusArgument>();
    if (items.currentType() != QDBusArgument::ArrayType) return names;
    items.beginArray();
    while (!items.atEnd()) {
        QString name, layout;
        items.beginStructure();
        items >> name >> layout;
        items.endStructure();
        names.append(name);
    }
    items.endArray();
    return names;
}

bool InputMethodSwitch::select(const QString& name)
{
    if (call(QStringLiteral("SetCurrentIM"), {name}).type() != QDBusMessage::ReplyMessage) return false;
    return current() == name;
}

}  // namespace korimado
