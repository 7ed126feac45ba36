#include "settings/EditorPreferences.h"

#include "editor/EditorView.h"
#include "filetree/FileTreeView.h"
#include "platform/text/LayoutManager.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsSnapshot.h"
#include "theme/ThemeQColor.h"
#include "theme/ThemeSupport.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
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
    if (!settings.fontName.isEmpty() && QFontDatabase::hasFamily(settings.fontName)) {
        font = QFont(settings.fontName);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setWeight(QFont::Normal);
        font.setStyle(QFont::StyleNormal);
    }
    font.setPointSizeF(settings.fontSize);
    return font;
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

EditorPreferences::Theme EditorPreferences::currentTheme()
{
    const EditorTheme theme = EditorTheme::current();
    return {toQColor(theme.resolvedColor(QStringLiteral("background"))),
            toQColor(theme.resolvedColor(QStringLiteral("text"))),
            toQColor(theme.resolvedColor(QStringLiteral("insertionPoint"))),
            toQColor(theme.resolvedColor(QStringLiteral("selection")))};
}

void EditorPreferences::apply(EditorWindowController& to)
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    const QFont font = editorFont();
    const Theme theme = currentTheme();
    EditorTextView* view = to.textView;

    view->setFont(font);
    view->setBackgroundColor(theme.background);
    view->setTextColor(theme.text);
    view->setInsertionPointColor(theme.insertionPoint);
    view->setSelectedTextBackgroundColor(theme.selection);
    view->setTabWidth(std::max<qreal>(QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')), 1) * settings.tabWidth);
    view->editingTabWidth = static_cast<int>(std::clamp<qint64>(settings.tabWidth, 1, 16));
    view->usesSpacesForIndentation = settings.useSpaces;
    view->pageGuideColumn =
        settings.showPageGuide ? std::optional<int>(static_cast<int>(settings.pageGuideColumn)) : std::nullopt;
    view->setRulersVisible(settings.lineNumbers);
    view->setShowsInvisibleCharacters(settings.invisibles);
    view->layoutManager()->setShowsInvisibleCharacters(settings.invisibles);
    view->layoutManager()->setShowsControlCharacters(settings.invisibles);

    for (QWidget* control : std::initializer_list<QWidget*>{to.status, to.byteStatus, to.tokenStatus,
                                                            to.tokenPicker, to.previewStatus,
                                                            to.encodingPicker, to.endingPicker}) {
        control->setHidden(!settings.statusBar);
    }
    to.fileTree->applyPreferences();
    view->viewport()->update();
}

}  // namespace korimado
