#include "settings/EditorPreferences.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/FontLookup.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPalette>
#include <QStyle>

namespace korimado {

namespace {

QPalette darkPalette()
{
    const QColor window(0x2B, 0x2B, 0x2E);
    const QColor base(0x1E, 0x1E, 0x21);
    const QColor text(0xE6, 0xE6, 0xE6);
    const QColor disabledText(0x80, 0x80, 0x80);
    const QColor highlight(0x3D, 0x6F, 0xB6);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(125));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, highlight.lighter(140));
    p.setColor(QPalette::LinkVisited, highlight.lighter(120));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabledText);
    }
    return p;
}

}  // namespace

TextFormat EditorPreferences::defaultTextFormat()
{
    return defaultTextFormat(UserDefaults::standard());
}

TextFormat EditorPreferences::defaultTextFormat(const UserDefaults& defaults)
{
    const EditorSettingsSnapshot settings(defaults);
    TextFormat format;
    format.encoding = TextEncoding::fromRawValue(settings.defaultEncoding).value_or(TextEncoding::utf8);
    format.bom = false;
    format.lineEnding = LineEnding::fromRawValue(settings.defaultLineEnding).value_or(LineEnding::lf);
    format.mixedLineEndings = false;
    return format;
}

QFont EditorPreferences::editorFont()
{
    return editorFont(UserDefaults::standard());
}

QFont EditorPreferences::editorFont(const UserDefaults& defaults)
{
    const EditorSettingsSnapshot settings(defaults);
    QFont font;
    if (std::optional<QFont> installed = FontLookup::installedFont(settings.fontName)) {
        font = *installed;
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setWeight(QFont::Normal);
        font.setStyle(QFont::StyleNormal);
    }
    font.setPointSizeF(settings.fontSize);
    return font;
}

QString EditorPreferences::exportedFontFamily(const QString& fontName)
{
    if (FontLookup::installedFont(fontName)) return fontName;
    // The family the fixed-pitch font resolves to, not the "monospace" alias that names it.
    return QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
}

void EditorPreferences::applyAppearance()
{
    applyAppearance(UserDefaults::standard());
}

void EditorPreferences::applyAppearance(const UserDefaults& defaults)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // Taken before the first change, so that "follow the system" can go back to it.
    static const QPalette systemPalette = QApplication::palette();
    switch (EditorSettingsSnapshot(defaults).appearance) {
    case 1: QApplication::setPalette(QApplication::style()->standardPalette()); break;
    case 2: QApplication::setPalette(darkPalette()); break;
    default: QApplication::setPalette(systemPalette); break;
    }
}

}  // namespace korimado
