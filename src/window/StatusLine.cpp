#include "window/StatusLine.h"

#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "document/LineIndex.h"
#include "document/TextEncodingNames.h"
#include "platform/foundation/MainQueue.h"
#include "preview/CharacterIndex.h"
#include "preview/TextStatisticsEngine.h"
#include "window/WindowFonts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QStandardItemModel>

#include <algorithm>

namespace korimado {

namespace {

constexpr qsizetype slowStatisticsLength = 200'001;

QLabel* makeLabel(const QFont& font, bool secondary)
{
    auto* label = new QLabel;
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

std::vector<StatusLine::EncodingChoice> StatusLine::makeEncodingChoices()
{
    const auto name = [](TextEncoding encoding) { return TextEncodingNames::localizedName(encoding); };
    const QString withBOM = QStringLiteral(" (BOM付き)");
    const QString withoutBOM = QStringLiteral(" (BOMなし)");
    std::vector<EncodingChoice> choices{
        {name(TextEncoding::utf8), TextEncoding::utf8, false},
        {name(TextEncoding::utf8) + withBOM, TextEncoding::utf8, true},
        {name(TextEncoding::shiftJIS), TextEncoding::shiftJIS, false},
        {name(TextEncoding::eucJP), TextEncoding::eucJP, false},
        {name(TextEncoding::iso2022JP), TextEncoding::iso2022JP, false},
        {name(TextEncoding::utf16LE), TextEncoding::utf16LE, true},
        {name(TextEncoding::utf16BE), TextEncoding::utf16BE, true},
        {TextEncoding(TextEncoding::utf16LE).rawValue() + withoutBOM, TextEncoding::utf16LE, false},
        {TextEncoding(TextEncoding::utf16BE).rawValue() + withoutBOM, TextEncoding::utf16BE, false},
    };
    const auto& all = TextEncoding::allCases();
    const auto after = std::find(all.begin(), all.end(), TextEncoding(TextEncoding::iso2022JP));
    for (auto it = after == all.end() ? all.end() : after + 1; it != all.end(); ++it) {
        const TextEncoding encoding = *it;
        choices.push_back({name(encoding), encoding, false});
        if (encoding == TextEncoding::utf32LE || encoding == TextEncoding::utf32BE) {
            choices.push_back({name(encoding) + withBOM, encoding, true});
        }
    }
    return choices;
}

StatusLine::StatusLine(KoriDocument& document, std::function<TextRange()> selection, QObject* parent)
    : QObject(parent),
      document_(&document),
      selection_(std::move(selection)),
      encodingChoices_(makeEncodingChoices()),
      statistics_(std::make_unique<TextStatisticsEngine>())
{
    build();
}

StatusLine::~StatusLine()
{
    invalidate();
}

void StatusLine::build()
{
    status_ = makeLabel(monospacedDigitFont(12), true);
    byteStatus_ = makeLabel(monospacedDigitFont(12), false);
    tokenStatus_ = makeLabel(monospacedDigitFont(11), true);
    previewStatus_ = makeLabel(systemFont(11), true);
    tokenPicker_ = new QComboBox;
    encodingPicker_ = new QComboBox;
    endingPicker_ = new QComboBox;

    auto* encodingModel = new QStandardItemModel(encodingPicker_);
    auto* header = new QStandardItem(QStringLiteral("テキストエンコーディング"));
    header->setData(-1, Qt::UserRole);
    header->setEnabled(false);
    encodingModel->appendRow(header);
    for (std::size_t i = 0; i < encodingChoices_.size(); ++i) {
        auto* item = new QStandardItem(encodingChoices_[i].title);
        item->setData(static_cast<int>(i), Qt::UserRole);
        encodingModel->appendRow(item);
    }
    encodingPicker_->setModel(encodingModel);
    encodingPicker_->insertSeparator(encodingPicker_->findData(5, Qt::UserRole));
    encodingPicker_->insertSeparator(encodingPicker_->findData(2, Qt::UserRole));
    encodingPicker_->setAccessibleName(QStringLiteral("保存する文字コード"));
    connect(encodingPicker_, &QComboBox::activated, this, [this](int index) {
        Q_EMIT encodingChosen(encodingPicker_->itemData(index, Qt::UserRole).toInt());
    });

    for (const LineEnding ending : LineEnding::allCases()) endingPicker_->addItem(ending.rawValue());
    endingPicker_->setAccessibleName(QStringLiteral("改行コード"));
    connect(endingPicker_, &QComboBox::activated, this, &StatusLine::endingChosen);

    for (const TokenEncoding encoding : allTokenEncodings) tokenPicker_->addItem(rawValue(encoding));
    tokenPicker_->setFont(systemFont(11));
    tokenPicker_->setAccessibleName(QStringLiteral("トークン分割方式"));
    tokenPicker_->setToolTip(QStringLiteral("OpenAI公開の分割方式で、文章だけをローカル計数します。会話形式、"
                                            "画像、ツール呼び出しなどの追加分は含みません。"));
    connect(tokenPicker_, &QComboBox::activated, this, [this](int) { scheduleStatistics(); });

    byteStatus_->setToolTip(QStringLiteral("現在の文字コードとBOM設定で保存した場合のバイト数"));
    status_->setAccessibleName(QStringLiteral("文書と選択範囲の文字数"));
    previewStatus_->setWordWrap(true);
    previewStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    previewStatus_->setMaximumHeight(2 * previewStatus_->fontMetrics().lineSpacing() + 2);

    auto* first = new QHBoxLayout;
    first->setContentsMargins(16, 0, 16, 0);
    first->setSpacing(12);
    first->addWidget(status_);
    first->addStretch(1);
    first->addWidget(byteStatus_);
    first->addWidget(encodingPicker_);
    first->addWidget(endingPicker_);
    firstRow_ = new QWidget;
    firstRow_->setLayout(first);
    firstRow_->setFixedHeight(28);

    auto* second = new QHBoxLayout;
    second->setContentsMargins(16, 0, 16, 0);
    second->setSpacing(12);
    second->addWidget(previewStatus_, 1);
    second->addStretch(0);
    second->addWidget(tokenStatus_);
    second->addWidget(tokenPicker_);
    secondRow_ = new QWidget;
    secondRow_->setLayout(second);
    // At least its 20 points, and never lower than its pop-up: a squeezed pop-up loses the
    // underscore of "o200k_base".
    secondRow_->setFixedHeight(std::max(20, tokenPicker_->sizeHint().height()));

    // The rows with the room around them: hidden together, so that no empty band stays.
    band_ = new QWidget;
    band_->setObjectName(QStringLiteral("statusBand"));
    auto* rows = new QVBoxLayout(band_);
    rows->setContentsMargins(0, 8, 0, 8);
    rows->setSpacing(0);
    rows->addWidget(firstRow_);
    rows->addSpacing(4);
    rows->addWidget(secondRow_);
}

void StatusLine::setTokenIndex(int index)
{
    tokenPicker_->setCurrentIndex(index);
}

void StatusLine::setShown(bool shown)
{
    band_->setHidden(!shown);
    for (QWidget* control : std::initializer_list<QWidget*>{status_, byteStatus_, tokenStatus_, tokenPicker_,
                                                            previewStatus_, encodingPicker_, endingPicker_}) {
        control->setHidden(!shown);
    }
}

void StatusLine::setPreviewStatus(const QString& message)
{
    previewStatus_->setText(message);
}

void StatusLine::invalidate()
{
    if (statisticsWork_) statisticsWork_->cancel();
    if (statistics_) statistics_->invalidate();
}

void StatusLine::selectFormatPopups()
{
    const TextFormat format = document_->format();
    for (std::size_t i = 0; i < encodingChoices_.size(); ++i) {
        if (encodingChoices_[i].encoding == format.encoding && encodingChoices_[i].bom == format.bom) {
            encodingPicker_->setCurrentIndex(encodingPicker_->findData(static_cast<int>(i), Qt::UserRole));
            break;
        }
    }
    endingPicker_->setCurrentIndex(endingPicker_->findText(format.lineEnding.rawValue()));
}

void StatusLine::scheduleStatistics()
{
    const TextRange selection = selection_();
    if (selection.location == TextRange::NotFound) return;
    const TokenEncoding encoding = tokenEncodingAt(std::max(tokenPicker_->currentIndex(), 0));
    const StatisticsKey key{document_->revision(), selection, document_->format(), encoding};
    if (statisticsKey_ && *statisticsKey_ == key) return;
    statisticsKey_ = key;
    ++statisticsSchedules_;
    invalidate();

    const LineIndex& lines = *document_->lines();
    const qsizetype length = document_->storage().length();
    qsizetype lineCount = 0;
    if (length > 0) {
        lineCount = lines.lineCount();
        if (lines.start(lineCount - 1) == length) --lineCount;
    }
    const qsizetype currentLine = lines.line(selection.location) + 1;
    QString lineText = QStringLiteral("行: ") + QString::number(lineCount);
    if (selection.length > 0) {
        const qsizetype end = selection.location + selection.length;
        const qsizetype endLine = lines.line(end);
        qsizetype selected = endLine - lines.line(selection.location);
        if (lines.start(endLine) != end) ++selected;
        lineText += QStringLiteral(" (") + QString::number(std::max<qsizetype>(selected, 1)) + QStringLiteral(")");
    }
    const QString lineSuffix = QStringLiteral("   行: ") + QString::number(currentLine);
    status_->setText(lineText + QStringLiteral("   文字: 計数中…") + lineSuffix);
    tokenStatus_->setText(encoding == TokenEncoding::off ? QString() : QStringLiteral("トークン: 計数中…"));

    const bool cached = statisticsText_ && statisticsText_->first == key.revision;
    const int delay = length < slowStatisticsLength || cached ? 80 : 400;
    QPointer<StatusLine> weak(this);
    statisticsWork_ = WorkItem::make([weak, key, lineText, lineSuffix] {
        if (!weak || !weak->statisticsKey_ || !(*weak->statisticsKey_ == key)) return;
        if (!weak->statisticsText_ || weak->statisticsText_->first != key.revision) {
            // A snapshot: the whole text is copied out on the counting queue, not here.
            weak->statisticsText_ = std::make_pair(key.revision, weak->document_->storage().snapshot());
        }
        const bool selected = key.selection.length > 0;
        weak->statistics_->request(
            TextSource::of(weak->statisticsText_->second), key.revision, key.selection, key.format, key.encoding,
            [weak, key, lineText, lineSuffix, selected](const TextMetrics& metrics) {
                if (!weak || !weak->statisticsKey_ || !(*weak->statisticsKey_ == key)) return;
                QString text = lineText + QStringLiteral("   文字: ") + QString::number(metrics.characters);
                if (selected) text += QStringLiteral(" (") + QString::number(metrics.selectedCharacters) + QStringLiteral(")");
                text += QStringLiteral("   位置: ") + QString::number(metrics.position) + lineSuffix;
                weak->status_->setText(text);
                weak->byteStatus_->setText(metrics.bytes ? QString::number(*metrics.bytes) + QStringLiteral(" バイト")
                                                         : QStringLiteral("保存不可"));
            },
            [weak, key, selected](const TokenCountResult& result) {
                if (!weak || !weak->statisticsKey_ || !(*weak->statisticsKey_ == key)) return;
                QString text;
                if (result.count) {
                    text = QStringLiteral("トークン: ") + QString::number(*result.count)
                           + (selected ? QStringLiteral("（選択）") : QStringLiteral("（全文）"));
                } else if (result.error == CountingError::resourceLimit) {
                    text = QStringLiteral("トークン: 長大な文字列のため保留");
                } else {
                    text = QStringLiteral("トークン: 計数できません");
                }
                weak->tokenStatus_->setText(text);
            });
    });
    MainQueue::after(delay, statisticsWork_);
}

}  // namespace korimado
