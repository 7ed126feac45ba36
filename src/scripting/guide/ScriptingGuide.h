#pragma once

#include "platform/ui/Responder.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace korimado {

class MenuItem;
class ScriptOutputView;

// The process-wide help window of the Help menu's "スクリプト" items: the guide to scripting
// Korimado, or the listing of the scripting terms built from the bundled dictionary at that
// moment. One window, kept when closed; each choice replaces its text.
class ScriptingGuide : public Responder {
public:
    static ScriptingGuide& shared();

    static const QString& guideText();
    // The Help item and the window's title while it shows the listing.
    static inline const QString dictionaryTitle = QStringLiteral("用語辞書");

    void showGuide(MenuItem* sender = nullptr);
    void showDictionary(MenuItem* sender = nullptr);

    QWidget* window();
    ScriptOutputView* text();

private:
    ScriptingGuide();
    void build();
    void show(const QString& title, const QString& text);

    QPointer<QWidget> window_;
    ScriptOutputView* text_ = nullptr;
};

}  // namespace korimado
