#include "platform/text/InputContext.h"

#include <QGuiApplication>
#include <QInputMethod>

namespace korimado {

namespace {

InputContext* installed = nullptr;

}  // namespace

void InputContext::commit()
{
    if (QInputMethod* method = QGuiApplication::inputMethod())
        method->commit();
}

void InputContext::reset()
{
    if (QInputMethod* method = QGuiApplication::inputMethod())
        method->reset();
}

void InputContext::update(Qt::InputMethodQueries queries)
{
    if (QInputMethod* method = QGuiApplication::inputMethod())
        method->update(queries);
}

InputContext& InputContext::current()
{
    static InputContext platform;
    return installed ? *installed : platform;
}

void InputContext::setCurrent(InputContext* context)
{
    installed = context;
}

}  // namespace korimado
