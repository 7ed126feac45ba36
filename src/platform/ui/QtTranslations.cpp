#include "platform/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace korimado {

QString QtTranslations::folder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QTranslator* QtTranslations::install(const QString& language)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qtbase" holds the widgets' texts; "qt" is the meta file that names every module.
    if (!translator->load(QStringLiteral("qtbase_") + language, folder())
        && !translator->load(QStringLiteral("qt_") + language, folder())) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

}  // namespace korimado
