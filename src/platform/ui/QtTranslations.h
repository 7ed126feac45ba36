#pragma once

#include <QString>

class QTranslator;

namespace korimado {

// Qt's own dialogs and buttons (the folder chooser, the colour dialog, OK and キャンセル) speak the
// program's language through the translations the distribution installs beside Qt.
class QtTranslations {
public:
    // Installs Qt's translations for the language ("ja") into the application. Returns the
    // installed translator (owned by the application), or nullptr when they are not installed.
    static QTranslator* install(const QString& language);
    // Where Qt's translation files are looked for.
    static QString folder();
};

}  // namespace korimado
