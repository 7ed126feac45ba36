#include "window/DetailPane.h"

#include "document/DocumentInspection.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextBoundaries.h"
#include "preview/CharacterIndex.h"
#include "preview/PreviewWebView.h"
#include "search/engine/SearchCancellationToken.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/SyntaxModel.h"
#include "window/DetailPreview.h"
#include "window/SegmentedControl.h"
#include "window/WindowFonts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include <unicode/uchar.h>

#include <algorithm>

namespace korimado {

namespace {

// Characters (grapheme clusters) of text, leaving out white space and line breaks unless asked.
qint64 filteredCount(const QString& text, bool spaces, bool newlines)
{
    if (spaces && newlines) return CharacterIndex::countCharacters(text);
    return CharacterIndex::countCharacters(text, [spaces, newlines](QStringView cluster) {
        bool allBreaks = true;
        bool white = true;
        for (const char32_t c : cluster.toUcs4()) {
            allBreaks = allBreaks && c <= 0xFFFF && TextBoundaries::isLineBreak(static_cast<char16_t>(c));
            white = white && u_isUWhiteSpace(static_cast<UChar32>(c));
        }
        return allBreaks ? newlines : (spaces || !white);
    });
}

QString countText(const QString& text, TextRange selection, const DocumentInspection& inspection, bool spaces,
                  bool newlines)
{
    const qsizetype location = std::min<qsizetype>(selection.location, text.size());
    const qsizetype length = std::min<qsizetype>(selection.length, text.size() - location);
    const QString selected = text.mid(location, length);
    return QStringLiteral("全文：") + QString::number(filteredCount(text, spaces, newlines))
           + QStringLiteral("文字\n選択範囲：") + QString::number(filteredCount(selected, spaces, newlines))
           + QStringLiteral("文字\n\n行数：") + QString::number(inspection.lines) + QStringLiteral("\n単語数：")
           + QString::number(inspection.words) + QStringLiteral("\nUnicodeスカラー：")
           + QString::number(text.toUcs4().size()) + QStringLiteral("\nUTF-16単位：")
           + QString::number(inspection.utf16Units) + QStringLiteral("\n保存サイズ：")
           + (inspection.encodedBytes ? QString::number(*inspection.encodedBytes) : QStringLiteral("保存不可"))
           + QStringLiteral("バイト");
}

}  // namespace

DetailPane::DetailPane(KoriDocument& document, std::function<TextRange()> selection,
                       std::function<const std::vector<SyntaxOutlineEntry>&()> outline, QObject* parent)
    : QObject(parent),
      document_(&document),
      selection_(std::move(selection)),
      outline_(std::move(outline)),
      inspectionQueue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".inspection"))))
{
    build();
}

DetailPane::~DetailPane()
{
    close();
}

void DetailPane::build()
{
    pane_ = new QWidget;
    detailPicker_ = new SegmentedControl({QStringLiteral("プレビュー"), QStringLiteral("文書"),
                                          QStringLiteral("アウトライン"), QStringLiteral("警告"),
                                          QStringLiteral("文字数")},
                                         pane_);
    countSpaces_ = new QCheckBox(QStringLiteral("空白を含む"));
    countNewlines_ = new QCheckBox(QStringLiteral("改行を含む"));
    countOptions_ = new QWidget(pane_);
    inspectionText_ = new QPlainTextEdit(pane_);
    outlineTable_ = new QTableWidget(0, 1, pane_);
    playerBar_ = new QWidget(pane_);
    playButton_ = makeInlineButton(QStringLiteral("一時停止"));

    // The web engine inside starts with the first page shown, not with the window.
    web_ = new PreviewWebView(pane_);
    QPointer<DetailPane> weak(this);
    preview_ = std::make_unique<DetailPreview>(
        *document_, *web_, *playButton_,
        DetailPreview::Hooks{[weak] { return weak && !weak->closed_ && weak->shown_ && weak->selectedSegment() == preview; },
                             [weak] { return weak && weak->composing_ && weak->composing_(); },
                             [weak](const QString& status) {
                                 if (weak && weak->previewStatus_) weak->previewStatus_(status);
                             }});

    auto* bar = new QHBoxLayout(playerBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(8);
    bar->addWidget(playButton_);
    connect(playButton_, &QPushButton::clicked, this, [this] { preview_->toggleSVGPlayback(); });
    using Action = void (DetailPreview::*)();
    const std::pair<QString, Action> buttons[] = {
        {QStringLiteral("最初から"), &DetailPreview::restartSVG},
        {QStringLiteral("\u2212"), &DetailPreview::zoomOut},
        {QStringLiteral("100%"), &DetailPreview::resetZoom},
        {QStringLiteral("\uFF0B"), &DetailPreview::zoomIn},
    };
    for (const auto& [title, action] : buttons) {
        QPushButton* button = makeInlineButton(title);
        connect(button, &QPushButton::clicked, this, [this, action = action] { ((*preview_).*action)(); });
        bar->addWidget(button);
    }
    bar->addStretch(1);

    detailPicker_->setSelectedSegment(0);
    detailPicker_->setSmall(true);
    connect(detailPicker_, &SegmentedControl::segmentClicked, this, &DetailPane::segmentClicked);

    inspectionText_->setReadOnly(true);
    inspectionText_->setFont(systemFont(13));
    inspectionText_->document()->setDocumentMargin(16);
    inspectionText_->setFrameShape(QFrame::NoFrame);

    auto* counts = new QHBoxLayout(countOptions_);
    counts->setContentsMargins(0, 0, 0, 0);
    counts->setSpacing(14);
    for (QCheckBox* box : {countSpaces_, countNewlines_}) {
        box->setChecked(true);
        box->setFont(systemFont(11));
        counts->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this] { refreshInspection(); });
    }
    counts->addStretch(1);

    outlineTable_->setHorizontalHeaderLabels({QStringLiteral("アウトライン")});
    outlineTable_->horizontalHeaderItem(0)->setData(Qt::UserRole, QStringLiteral("outline"));
    outlineTable_->setColumnWidth(0, 400);
    outlineTable_->horizontalHeader()->setStretchLastSection(true);
    outlineTable_->horizontalHeader()->hide();
    outlineTable_->verticalHeader()->hide();
    outlineTable_->verticalHeader()->setDefaultSectionSize(28);
    outlineTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outlineTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    outlineTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineTable_->setFrameShape(QFrame::NoFrame);
    connect(outlineTable_, &QTableWidget::cellClicked, this, [this](int row, int) { Q_EMIT outlineRowClicked(row); });

    const bool svg = isSVG();
    previewTop_ = svg ? 74 : 34;
    playerBar_->setHidden(!svg);
    web_->setAccessibleName(svg ? QStringLiteral("SVG再生プレイヤー")
                                : isHTML() ? QStringLiteral("HTMLプレビュー")
                                           : QStringLiteral("プレビュー"));
    web_->setAccessibleDescription(QStringLiteral("2本指のピンチ操作でプレビューを拡大・縮小できます。"));
    pane_->installEventFilter(this);
    layout();
}

bool DetailPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pane_ && event->type() == QEvent::Resize) layout();
    return QObject::eventFilter(watched, event);
}

// The pane's views overlap by design; they are placed by fixed offsets from its top.
void DetailPane::layout()
{
    const int w = pane_->width();
    const int h = pane_->height();
    detailPicker_->setGeometry(10, 5, std::max(0, w - 20), 24);
    playerBar_->setGeometry(8, 5 + 24 + 6, std::max(0, std::min(playerBar_->sizeHint().width(), w - 16)), 28);
    web_->setGeometry(0, previewTop_, w, std::max(0, h - previewTop_));
    inspectionText_->setGeometry(0, inspectionTop_, w, std::max(0, h - inspectionTop_));
    outlineTable_->setGeometry(0, 34, w, std::max(0, h - 34));
    countOptions_->setGeometry(16, 5 + 24 + 8, std::max(0, w - 32), 24);
}

bool DetailPane::isSVG() const
{
    return QFileInfo(document_->fileURL()).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
}

bool DetailPane::isHTML() const
{
    const QString suffix = QFileInfo(document_->fileURL()).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm") || suffix == QLatin1String("xhtml");
}

void DetailPane::setPreviewHooks(std::function<bool()> composing, std::function<void(const QString&)> status)
{
    composing_ = std::move(composing);
    previewStatus_ = std::move(status);
}

std::uint64_t DetailPane::renderToken() const { return preview_->renderToken(); }
std::optional<std::uint64_t> DetailPane::previewRevision() const { return preview_->previewRevision(); }
qint64 DetailPane::renderCount() const { return preview_->renderCount(); }
double DetailPane::lastRenderMilliseconds() const { return preview_->lastRenderMilliseconds(); }
std::uint64_t DetailPane::previewSchedules() const { return preview_->schedules(); }

int DetailPane::selectedSegment() const
{
    return detailPicker_->selectedSegment();
}

void DetailPane::setSelectedSegment(int segment)
{
    detailPicker_->setSelectedSegment(segment);
}

void DetailPane::setShown(bool shown)
{
    shown_ = shown;
    pane_->setHidden(!shown);
}

void DetailPane::updateVisibility()
{
    const int s = selectedSegment();
    if (s != preview) cancelPreview();
    web_->setHidden(!(s == preview && shown_));
    playerBar_->setHidden(!(s == preview && isSVG()));
    inspectionText_->setHidden(!(shown_ && (s == information || s == warnings || s == counts)));
    outlineTable_->setHidden(!(shown_ && s == outline));
    countOptions_->setHidden(!(shown_ && s == counts));
    inspectionTop_ = s == counts ? 72 : 34;
    layout();
    if (s == outline) {
        reloadOutline();
    } else if (s == preview) {
        schedulePreview(true);
    } else {
        refreshInspection();
    }
}

void DetailPane::selectionDidChange()
{
    if (inspected_ && *inspected_ == std::pair{document_->revision(), selection_()}) return;
    refreshInspection();
}

void DetailPane::refreshInspection()
{
    const int segment = selectedSegment();
    if (closed_ || !shown_ || (segment != information && segment != warnings && segment != counts)) return;
    inspected_ = std::pair{document_->revision(), selection_()};
    ++inspectionSchedules_;
    const std::uint64_t generation = ++inspectionGeneration_;
    if (inspectionWork_) inspectionWork_->cancel();
    if (inspectionCancellation_) inspectionCancellation_->cancel();
    auto token = std::make_shared<SearchCancellationToken>();
    inspectionCancellation_ = token;
    inspectionText_->setPlainText(QStringLiteral("集計中…"));

    QPointer<DetailPane> weak(this);
    inspectionWork_ = WorkItem::make([weak, token, generation, segment] {
        if (!weak || token->isCancelled()) return;
        const TextSnapshot snapshot = weak->document_->storage().snapshot();
        const TextRange selection = weak->selection_();
        const TextFormat format = weak->document_->format();
        std::optional<QString> path;
        if (!weak->document_->fileURL().isEmpty()) path = weak->document_->fileURL();
        const bool spaces = weak->countSpaces_->isChecked();
        const bool newlines = weak->countNewlines_->isChecked();
        // User defaults belong to the main thread: read the setting here, not on the queue.
        const qint64 pageGuideColumn = EditorSettingsSnapshot(UserDefaults::standard()).pageGuideColumn;
        weak->inspectionQueue_->async([weak, token, generation, segment, snapshot, selection, format, path, spaces,
                                       newlines, pageGuideColumn] {
            if (token->isCancelled()) return;
            const QString text = snapshot.string();
            const DocumentInspection inspection =
                DocumentInspection::inspect(text, selection, format, path, pageGuideColumn);
            const QString shown = segment == information ? inspection.informationText()
                                  : segment == warnings  ? inspection.warningsText()
                                                         : countText(text, selection, inspection, spaces, newlines);
            MainQueue::async([weak, token, generation, shown] {
                if (!weak || token->isCancelled() || weak->inspectionGeneration_ != generation) return;
                weak->inspectionText_->setPlainText(shown);
            });
        });
    });
    MainQueue::after(200, inspectionWork_);
}

void DetailPane::cancelPreview()
{
    preview_->cancel();
}

void DetailPane::schedulePreview(bool immediate)
{
    preview_->schedule(immediate);
}

void DetailPane::documentKindChanged()
{
    const bool svg = isSVG();
    playerBar_->setHidden(!svg || selectedSegment() != preview);
    previewTop_ = svg ? 74 : 34;
    web_->setAccessibleName(svg ? QStringLiteral("SVG再生プレイヤー")
                                : isHTML() ? QStringLiteral("HTMLプレビュー") : QStringLiteral("プレビュー"));
    layout();
}

void DetailPane::reloadOutline()
{
    const auto& entries = outline_();
    const bool truncated = outlineTruncated_ && outlineTruncated_();
    outlineTable_->setRowCount(static_cast<int>(entries.size()) + (truncated ? 1 : 0));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SyntaxOutlineEntry& entry = entries[i];
        const QString indent(std::clamp(entry.level - 1, 0, 8) * 2, QLatin1Char(' '));
        outlineTable_->setItem(static_cast<int>(i), 0,
                               new QTableWidgetItem(indent + QString::number(entry.line) + QStringLiteral("行  ")
                                                    + entry.title));
    }
    if (truncated) {
        // Says that the list stops early; it is no entry to go to.
        auto* note = new QTableWidgetItem(SyntaxModel::truncatedOutlineNote());
        note->setFlags(Qt::ItemIsEnabled);
        outlineTable_->setItem(static_cast<int>(entries.size()), 0, note);
    }
}

void DetailPane::close()
{
    closed_ = true;
    if (inspectionWork_) inspectionWork_->cancel();
    if (inspectionCancellation_) inspectionCancellation_->cancel();
    if (preview_) preview_->close();
}

}  // namespace korimado
