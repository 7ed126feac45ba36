#include "preferences/SettingsWindowController.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/ui/ProgressSheet.h"

#include "document/LineEnding.h"
#include "document/TextEncoding.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"
#include "preferences/archive/SettingsResourceStore.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"
#include "platform/ui/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace korimado {

namespace Key = EditorSettingsKey;

namespace {

constexpr int kFontSizes[] = {10, 12, 14, 16, 18, 20, 24, 28, 32};
constexpr int kTabWidths[] = {2, 3, 4, 5, 6, 8, 10, 12};

QComboBox* popUp(const QString& name, const QString& accessibilityLabel = {})
{
    auto* box = new QComboBox;
    box->setObjectName(name);
    if (!accessibilityLabel.isEmpty()) box->setAccessibleName(accessibilityLabel);
    return box;
}

QCheckBox* checkBox(const QString& name, const QString& title)
{
    auto* box = new QCheckBox(title);
    box->setObjectName(name);
    return box;
}

QLabel* note(const QString& text, int fixedWidth)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    // 12 points beside a 13-point system font: a little smaller than the controls, whatever the
    // desktop's own size.
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 12.0 / 13.0);
    label->setFont(small);
    // A role, not a colour: the note follows the appearance when it changes.
    label->setForegroundRole(QPalette::PlaceholderText);
    if (fixedWidth > 0) label->setFixedWidth(fixedWidth);
    return label;
}

QWidget* horizontal(const QList<QWidget*>& views, int spacing)
{
    auto* container = new QWidget;
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* view : views) layout->addWidget(view);
    layout->addStretch();
    return container;
}

constexpr int kMinimumGuideColumn = 20;
constexpr int kMaximumGuideColumn = 240;

void selectTag(QComboBox* box, int tag)
{
    box->setCurrentIndex(box->findData(tag));
}

// The tag of the selected item, or a default when nothing is selected.
int selectedTag(const QComboBox* box, int fallback)
{
    return box->currentIndex() < 0 ? fallback : box->currentData().toInt();
}

}  // namespace

SettingsWindowController& SettingsWindowController::shared()
{
    static SettingsWindowController* controller =
        new SettingsWindowController(UserDefaults::standard(), EditorThemeStore::shared(), SettingsArchiveStore());
    return *controller;
}

SettingsWindowController::SettingsWindowController(UserDefaults& defaults, EditorThemeStore& themeStore,
                                                   SettingsArchiveStore archiveStore)
    : defaults_(defaults), themeStore_(themeStore), archiveStore_(std::move(archiveStore))
{
    registerAction(QStringLiteral("changed:"), [this](MenuItem*) { changed(); });
    registerAction(QStringLiteral("importTheme:"), [this](MenuItem* sender) { importTheme(sender); });
    registerAction(QStringLiteral("exportTheme:"), [this](MenuItem* sender) { exportTheme(sender); });
    registerAction(QStringLiteral("exportSettings:"), [this](MenuItem* sender) { exportSettings(sender); });
    registerAction(QStringLiteral("importSettings:"), [this](MenuItem* sender) { importSettings(sender); });
    registerAction(QStringLiteral("show:"), [](MenuItem*) { show(); });
    buildControls();
    buildWindow();
    sync();
}

SettingsWindowController::~SettingsWindowController()
{
    // A job that has not committed stops; one that has ends before the queue goes.
    if (archiveJob_) archiveJob_->cancel();
    delete progress_.data();
    archiveQueue_.reset();
    delete window_;
}

void SettingsWindowController::show()
{
    SettingsWindowController& settings = shared();
    settings.sync();
    settings.showWindow();
    WindowTracker::shared().makeKeyAndOrderFront(settings.window());
}

void SettingsWindowController::showWindow(MenuItem*)
{
    // One settings window for the program, kept above whichever document window is in front.
    ToolWindow::present(window_, WindowTracker::shared().mainWindow(), ToolWindow::Lifetime::shared);
}

void SettingsWindowController::buildControls()
{
    size_ = popUp(QStringLiteral("size"), QStringLiteral("文字サイズ"));
    appearance_ = popUp(QStringLiteral("appearance"), QStringLiteral("外観"));
    tokens_ = popUp(QStringLiteral("tokens"), QStringLiteral("トークンの計数方式"));
    theme_ = popUp(QStringLiteral("theme"), QStringLiteral("エディタのテーマ"));
    font_ = popUp(QStringLiteral("font"), QStringLiteral("フォント"));
    tabWidth_ = popUp(QStringLiteral("tabWidth"), QStringLiteral("タブ幅"));
    encoding_ = popUp(QStringLiteral("encoding"), QStringLiteral("新規文書の文字コード"));
    lineEnding_ = popUp(QStringLiteral("lineEnding"), QStringLiteral("新規文書の改行コード"));
    guideColumn_ = new QLineEdit;
    guideColumn_->setObjectName(QStringLiteral("guideColumn"));
    wrap_ = checkBox(QStringLiteral("wrap"), QStringLiteral("長い行をウインドウ幅で折り返す"));
    hidden_ = checkBox(QStringLiteral("hidden"), QStringLiteral("隠しファイルを表示する"));
    autoplay_ = checkBox(QStringLiteral("autoplay"), QStringLiteral("SVGを開いたときにアニメーションを再生する"));
    spaces_ = checkBox(QStringLiteral("spaces"), QStringLiteral("インデントに空白を使う"));
    lineNumbers_ = checkBox(QStringLiteral("lineNumbers"), QStringLiteral("行番号を表示する"));
    statusBar_ = checkBox(QStringLiteral("statusBar"), QStringLiteral("ステータスを表示する"));
    invisibles_ = checkBox(QStringLiteral("invisibles"), QStringLiteral("不可視文字を表示する"));
    pageGuide_ = checkBox(QStringLiteral("pageGuide"), QStringLiteral("ページガイドを表示する"));
    spelling_ = checkBox(QStringLiteral("spelling"), QStringLiteral("入力中にスペルを確認する"));

    appearance_->addItems({QStringLiteral("システムに合わせる"), QStringLiteral("ライト"), QStringLiteral("ダーク")});
    for (int points : kFontSizes) size_->addItem(QString::number(points) + QStringLiteral(" ポイント"), points);
    font_->addItem(QStringLiteral("システム等幅"), QString());
    QStringList families = QFontDatabase::families();
    std::stable_sort(families.begin(), families.end(), localizedStandardLess);
    for (const QString& family : families) font_->addItem(family, family);
    for (int width : kTabWidths) tabWidth_->addItem(QString::number(width) + QStringLiteral("文字"), width);
    tokens_->addItems({QStringLiteral("表示しない"), QStringLiteral("標準（o200k_base）"), QStringLiteral("従来方式（cl100k_base）")});
    for (TextEncoding encoding : TextEncoding::allCases()) encoding_->addItem(encoding.rawValue());
    for (LineEnding ending : LineEnding::allCases()) lineEnding_->addItem(ending.rawValue());

    guideColumn_->setPlaceholderText(QStringLiteral("80"));
    guideColumn_->setAlignment(Qt::AlignRight);
    guideColumn_->setFixedWidth(70);
    // Digits only while typing: the range is checked once the entry is done, so that 500 is refused
    // as a whole instead of turning into 50 under the fingers.
    guideColumn_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), guideColumn_));
    guideColumn_->setAccessibleName(QStringLiteral("ページガイドの列"));

    // Only what the user does writes: syncing the controls from the settings never does.
    for (QComboBox* box : {size_, appearance_, tokens_, theme_, font_, tabWidth_, encoding_, lineEnding_}) {
        QObject::connect(box, &QComboBox::activated, box, [this] { changed(); });
    }
    QObject::connect(guideColumn_, &QLineEdit::editingFinished, guideColumn_, [this] { guideColumnEdited(); });
    for (QCheckBox* box : {wrap_, hidden_, autoplay_, spaces_, lineNumbers_, statusBar_, invisibles_, pageGuide_, spelling_}) {
        QObject::connect(box, &QCheckBox::clicked, box, [this] { changed(); });
    }
}

void SettingsWindowController::buildWindow()
{
    window_ = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_->setObjectName(QStringLiteral("settingsWindow"));
    window_->setWindowTitle(QStringLiteral("設定"));
    window_->setFixedSize(660, 500);
    ToolWindow::closeOnEscape(window_);
    WindowPlacement::centreOnScreen(window_);
    tabs_ = new QTabWidget(window_);
    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->setGeometry(20, 20, 620, 460);

    const auto button = [this](const QString& title, void (SettingsWindowController::*action)(MenuItem*)) {
        auto* push = new QPushButton(title);
        QObject::connect(push, &QPushButton::clicked, push, [this, action] { (this->*action)(nullptr); });
        return push;
    };
    QPushButton* exportSettingsButton = button(QStringLiteral("設定を書き出す…"), &SettingsWindowController::exportSettings);
    QPushButton* importSettingsButton = button(QStringLiteral("設定を読み込む…"), &SettingsWindowController::importSettings);
    QPushButton* exportThemeButton = button(QStringLiteral("テーマを書き出す…"), &SettingsWindowController::exportTheme);
    QPushButton* importThemeButton = button(QStringLiteral("テーマを読み込む…"), &SettingsWindowController::importTheme);

    page(QStringLiteral("一般"),
         {row(QStringLiteral("外観"), appearance_), row(QStringLiteral("テーマ"), theme_),
          horizontal({importThemeButton, exportThemeButton}, 8), hidden_,
          horizontal({exportSettingsButton, importSettingsButton}, 8),
          note(QStringLiteral("設定は自動で保存し、変更できる項目は開いている文書にも反映します。"), 0)});
    page(QStringLiteral("エディタ"),
         {row(QStringLiteral("フォント"), font_), row(QStringLiteral("文字サイズ"), size_),
          row(QStringLiteral("タブ幅"), tabWidth_), spaces_, wrap_, lineNumbers_, statusBar_, invisibles_,
          horizontal({pageGuide_, new QLabel(QStringLiteral("列")), guideColumn_}, 8), spelling_,
          row(QStringLiteral("トークン数"), tokens_)});
    page(QStringLiteral("ファイル"),
         {row(QStringLiteral("標準文字コード"), encoding_), row(QStringLiteral("標準改行"), lineEnding_),
          note(QStringLiteral("文字コードと改行コードは、新しく作る文書へ適用します。既存文書の形式は変更しません。"), 500)});
    page(QStringLiteral("プレビュー"),
         {autoplay_,
          note(QStringLiteral("SVGとMarkdownはこのコンピュータ内で表示します。文書のスクリプトと外部ファイルの読み込みは無効です。"), 500)});
}

QWidget* SettingsWindowController::row(const QString& title, QWidget* control)
{
    auto* label = new QLabel(title);
    label->setFixedWidth(130);
    label->setBuddy(control);
    return horizontal({label, control}, 16);
}

QWidget* SettingsWindowController::page(const QString& title, const QList<QWidget*>& views)
{
    auto* view = new QWidget;
    view->setObjectName(title);
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(14);
    for (QWidget* item : views) {
        // A wrapping note takes the page's width, so that its height follows from it.
        const auto* label = qobject_cast<QLabel*>(item);
        stack->addWidget(item, 0, label && label->wordWrap() ? Qt::Alignment() : Qt::AlignLeft);
    }
    stack->addStretch();
    tabs_->addTab(view, title);
    return view;
}

void SettingsWindowController::reloadThemePicker(const QString& selected)
{
    QStringList names = themeStore_.availableThemeNames();
    QString resolved;
    try {
        resolved = themeStore_.theme(selected).name;
    } catch (const EditorThemeError&) {
        try {
            resolved = themeStore_.theme(QStringLiteral("Classic")).name;
        } catch (const EditorThemeError&) {
            resolved = EditorTheme::fallback().name;
        }
    }
    if (!names.contains(resolved)) names.append(resolved);
    std::stable_sort(names.begin(), names.end(), localizedStandardLess);
    theme_->clear();
    theme_->addItems(names);
    theme_->setCurrentIndex(theme_->findText(names.contains(selected) ? selected : resolved, Qt::MatchExactly));
}

void SettingsWindowController::sync()
{
    const EditorSettingsSnapshot settings(defaults_);
    reloadThemePicker(settings.themeName.value_or(QStringLiteral("Classic")));
    selectTag(size_, static_cast<int>(settings.fontSize));
    appearance_->setCurrentIndex(static_cast<int>(settings.appearance));
    tokens_->setCurrentIndex(static_cast<int>(settings.tokenIndex));
    int fontIndex = -1;
    for (int i = 0; i < font_->count() && fontIndex < 0; ++i) {
        const QVariant name = font_->itemData(i);
        if ((name.typeId() == QMetaType::QString ? name.toString() : QString()) == settings.fontName) fontIndex = i;
    }
    if (fontIndex < 0) {
        // A family that is not installed, or a face's own name: shown as it is.
        font_->addItem(settings.fontName, settings.fontName);
        fontIndex = font_->count() - 1;
    }
    font_->setCurrentIndex(fontIndex);
    selectTag(tabWidth_, static_cast<int>(settings.tabWidth));
    encoding_->setCurrentIndex(encoding_->findText(settings.defaultEncoding, Qt::MatchExactly));
    lineEnding_->setCurrentIndex(lineEnding_->findText(settings.defaultLineEnding, Qt::MatchExactly));
    guideColumn_->setText(QString::number(settings.pageGuideColumn));
    wrap_->setChecked(settings.wrap);
    hidden_->setChecked(settings.hiddenFiles);
    autoplay_->setChecked(settings.autoplay);
    spaces_->setChecked(settings.useSpaces);
    lineNumbers_->setChecked(settings.lineNumbers);
    statusBar_->setChecked(settings.statusBar);
    invisibles_->setChecked(settings.invisibles);
    pageGuide_->setChecked(settings.showPageGuide);
    spelling_->setChecked(settings.spelling);
}

void SettingsWindowController::changed()
{
    const QVariant fontName = font_->currentIndex() < 0 ? QVariant() : font_->currentData();
    defaults_.setString(Key::fontName, fontName.typeId() == QMetaType::QString ? fontName.toString() : QString());
    defaults_.setInteger(Key::fontSize, selectedTag(size_, 14));
    defaults_.setInteger(Key::appearance, appearance_->currentIndex());
    defaults_.setInteger(Key::tokenIndex, tokens_->currentIndex());
    defaults_.setInteger(Key::tabWidth, selectedTag(tabWidth_, 4));
    defaults_.setString(Key::defaultEncoding,
                        encoding_->currentIndex() < 0 ? QStringLiteral("UTF-8") : encoding_->currentText());
    defaults_.setString(Key::defaultLineEnding,
                        lineEnding_->currentIndex() < 0 ? QStringLiteral("LF") : lineEnding_->currentText());
    defaults_.setString(Key::themeName, theme_->currentIndex() < 0 ? QStringLiteral("Classic") : theme_->currentText());
    defaults_.setInteger(Key::pageGuideColumn, std::clamp(guideColumn_->text().toInt(), kMinimumGuideColumn, kMaximumGuideColumn));
    defaults_.setBool(Key::wrap, wrap_->isChecked());
    defaults_.setBool(Key::hiddenFiles, hidden_->isChecked());
    defaults_.setBool(Key::autoplay, autoplay_->isChecked());
    defaults_.setBool(Key::useSpaces, spaces_->isChecked());
    defaults_.setBool(Key::lineNumbers, lineNumbers_->isChecked());
    defaults_.setBool(Key::statusBar, statusBar_->isChecked());
    defaults_.setBool(Key::invisibles, invisibles_->isChecked());
    defaults_.setBool(Key::showPageGuide, pageGuide_->isChecked());
    defaults_.setBool(Key::spelling, spelling_->isChecked());
    settingsDidChange();
}

void SettingsWindowController::guideColumnEdited()
{
    bool ok = false;
    const int column = guideColumn_->text().toInt(&ok);
    if (ok && column >= kMinimumGuideColumn && column <= kMaximumGuideColumn) {
        changed();
        return;
    }
    // Refused: the stored column comes back, and nothing is written.
    QApplication::beep();
    guideColumn_->setText(QString::number(EditorSettingsSnapshot(defaults_).pageGuideColumn));
}

void SettingsWindowController::settingsDidChange()
{
    EditorPreferences::applyAppearance(defaults_);
    NotificationCenter::defaultCenter().post(editorPreferencesChanged);
}

SettingsResourceStore& SettingsWindowController::resourceStore()
{
    if (!resourceStore_) resourceStore_ = std::make_unique<SettingsResourceStore>(themeStore_);
    return *resourceStore_;
}

QWidget* SettingsWindowController::modalParent() const
{
    return window_ && window_->isVisible() ? window_.data() : nullptr;
}

}  // namespace korimado
