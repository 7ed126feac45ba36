#include "platform/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace korimado {

namespace {

// Qt 6 asks for a file's kind ("Folder", "Drive", "%1 File") under the icon provider's context,
// while the distribution's Japanese file still files those texts under the file dialog's.
class QtBaseTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isEmpty() && context && qstrcmp(context, "QAbstractFileIconProvider") == 0)
            text = QTranslator::translate("QFileDialog", sourceText, nullptr, n);
        return text;
    }
};

}  // namespace

QString QtTranslations::folder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QTranslator* QtTranslations::install(const QString& language)
{
    auto* translator = new QtBaseTranslator(QCoreApplication::instance());
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
