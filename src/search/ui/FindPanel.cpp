#include "search/ui/FindPanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace korimado {

namespace {

QCheckBox* check(QWidget* parent, const QString& title, bool on)
{
    auto* box = new QCheckBox(title, parent);
    box->setChecked(on);
    QFont font = box->font();
    font.setPointSizeF(font.pointSizeF() * 0.92);  // small control size
    box->setFont(font);
    return box;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing)
{
    auto* layout = new QHBoxLayout;
    layout->setSpacing(spacing);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch(1);
    return layout;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
    label->setPalette(palette);
    return label;
}

}  // namespace

FindPanel::FindPanel(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("検索と置換"));
    resize(720, 590);
    setMinimumSize(620, 470);

    findField = new QLineEdit(this);
    findField->setPlaceholderText(QStringLiteral("検索する文字列"));
    findField->setAccessibleName(QStringLiteral("検索文字列"));
    replaceField = new QLineEdit(this);
    replaceField->setPlaceholderText(QStringLiteral("置換後の文字列"));
    replaceField->setAccessibleName(QStringLiteral("置換文字列"));
    modePicker = new QComboBox(this);
    modePicker->addItems({QStringLiteral("テキスト"), QStringLiteral("正規表現（ICU）")});
    modePicker->setAccessibleName(QStringLiteral("検索方式"));

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(8);
    grid->setHorizontalSpacing(10);
    grid->setColumnMinimumWidth(0, 60);
    const QString labels[] = {QStringLiteral("検索:"), QStringLiteral("置換:"), QStringLiteral("方式:")};
    QWidget* controls[] = {findField, replaceField, modePicker};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(labels[i], this), i, 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(controls[i], i, 1);
    }
    grid->setColumnStretch(1, 1);

    matchCase = check(this, QStringLiteral("大文字と小文字を区別"), false);
    wholeWord = check(this, QStringLiteral("単語全体に一致"), false);
    selectionOnly = check(this, QStringLiteral("選択範囲のみ"), false);
    wraps = check(this, QStringLiteral("文書の端で折り返す"), true);
    ignoreDiacritics = check(this, QStringLiteral("ダイアクリティカルマークを無視"), false);
    ignoreWidth = check(this, QStringLiteral("文字幅を無視"), false);
    literalComparison = check(this, QStringLiteral("文字単位で厳密に比較"), false);
    unicodeBoundaries = check(this, QStringLiteral("Unicode単語境界を使う"), true);
    multiline = check(this, QStringLiteral("^ と $ を各行に一致"), true);
    singleLine = check(this, QStringLiteral(". を改行にも一致"), false);
    unescapeReplacement = check(this, QStringLiteral("置換文字列の \\n、\\t などを展開"), false);

    auto* details = secondaryLabel(QStringLiteral("詳細オプション"), this);
    QFont detailsFont = details->font();
    detailsFont.setPointSize(12);
    detailsFont.setWeight(QFont::DemiBold);
    details->setFont(detailsFont);

    const std::pair<const char*, const char*> rows[2][6] = {
        {{"前を検索", "findPrevious:"}, {"次を検索", "findNext:"}, {"すべて表示", "findAll:"},
         {"一致箇所をすべて選択", "selectAllMatches:"}, {"すべて強調", "highlightAll:"}, {"強調を解除", "clearHighlights:"}},
        {{"置換", "replace:"}, {"置換して次を検索", "replaceAndFind:"}, {"すべて置換", "replaceAll:"},
         {"複数置換…", "showBatchReplace:"}, {"フォルダ内検索…", "showFolderFind:"}, {nullptr, nullptr}},
    };
    QHBoxLayout* buttonRows[2];
    for (int r = 0; r < 2; ++r) {
        buttonRows[r] = new QHBoxLayout;
        buttonRows[r]->setSpacing(8);
        for (const auto& [title, action] : rows[r]) {
            if (!title) continue;
            auto* b = new QPushButton(QString::fromUtf8(title), this);
            b->setAutoDefault(false);
            buttons.append({QString::fromLatin1(action), b});
            buttonRows[r]->addWidget(b);
        }
        buttonRows[r]->addStretch(1);
    }

    status = secondaryLabel(QStringLiteral("検索語を入力してください。"), this);
    status->setAccessibleName(QStringLiteral("検索結果の状態"));
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->setMinimumWidth(1);

    table = new QTableView(this);
    table->setAccessibleName(QStringLiteral("検索結果"));
    table->setAlternatingRowColors(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideRight);
    table->setMinimumHeight(170);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(10);
    stack->addLayout(grid);
    stack->addLayout(row({matchCase, wholeWord, selectionOnly, wraps}, 14));
    stack->addWidget(details);
    stack->addLayout(row({ignoreDiacritics, ignoreWidth, literalComparison, unicodeBoundaries}, 12));
    stack->addLayout(row({multiline, singleLine, unescapeReplacement}, 12));
    stack->addLayout(buttonRows[0]);
    stack->addLayout(buttonRows[1]);
    stack->addWidget(status);
    stack->addWidget(table, 1);
}

QPushButton* FindPanel::button(const QString& action) const
{
    for (const auto& [name, b] : buttons) {
        if (name == action) return b;
    }
    return nullptr;
}

void FindPanel::keyPressEvent(QKeyEvent* event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The fields answer Return themselves and let the event through; only the rest of the panel
    // sends the default action.
    if (returnKey && event->modifiers() == Qt::NoModifier && !qobject_cast<QLineEdit*>(focusWidget())) {
        Q_EMIT defaultActionRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FindPanel::closeEvent(QCloseEvent* event)
{
    Q_EMIT closed();
    QWidget::closeEvent(event);
}

}  // namespace korimado
