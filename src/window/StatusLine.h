#pragma once

#include "document/TextEncoding.h"
#include "document/TextFormat.h"
#include "platform/foundation/WorkItem.h"
#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"
#include "preview/TokenEncoding.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QWidget;

namespace korimado {

class KoriDocument;
class TextStatisticsEngine;

// The two rows under a document window's editors: line, character, position and size counts
// with their debounced background count, the save encoding and line ending pop-ups, the token
// counter and the preview status.
class StatusLine : public QObject {
    Q_OBJECT

public:
    // One entry of the encoding pop-up; its index is the item's tag.
    struct EncodingChoice {
        QString title;
        TextEncoding encoding;
        bool bom = false;
    };
    static std::vector<EncodingChoice> makeEncodingChoices();

    // selection answers the active editor's selection when the counts are scheduled.
    StatusLine(KoriDocument& document, std::function<TextRange()> selection, QObject* parent = nullptr);
    ~StatusLine() override;

    // The two rows, built once, and the band that holds them with the room above, between and
    // below them.
    QWidget* band() const { return band_; }
    QWidget* firstRow() const { return firstRow_; }
    QWidget* secondRow() const { return secondRow_; }

    QLabel* status() const { return status_; }
    QLabel* byteStatus() const { return byteStatus_; }
    QLabel* tokenStatus() const { return tokenStatus_; }
    QComboBox* tokenPicker() const { return tokenPicker_; }
    QLabel* previewStatus() const { return previewStatus_; }
    QComboBox* encodingPicker() const { return encodingPicker_; }
    QComboBox* endingPicker() const { return endingPicker_; }
    const std::vector<EncodingChoice>& encodingChoices() const { return encodingChoices_; }

    // Counts again for the current revision, selection, format and token mode; a request that
    // asks for what is already counted or being counted does nothing.
    void scheduleStatistics();
    // How often a count was actually scheduled.
    std::uint64_t statisticsSchedules() const { return statisticsSchedules_; }
    // Re-selects the encoding and line-ending pop-ups from the document's format.
    void selectFormatPopups();
    void setTokenIndex(int index);
    // The "show status bar" setting.
    void setShown(bool shown);
    void setPreviewStatus(const QString& message);
    // Nothing in flight is shown any more.
    void invalidate();

Q_SIGNALS:
    // The user chose an encoding (its tag) or a line ending (its index).
    void encodingChosen(int tag);
    void endingChosen(int index);

private:
    struct StatisticsKey {
        std::uint64_t revision = 0;
        TextRange selection;
        TextFormat format;
        TokenEncoding encoding = TokenEncoding::off;
        friend bool operator==(const StatisticsKey&, const StatisticsKey&) = default;
    };

    void build();

    KoriDocument* document_;
    std::function<TextRange()> selection_;
    const std::vector<EncodingChoice> encodingChoices_;

    QWidget* band_ = nullptr;
    QWidget* firstRow_ = nullptr;
    QWidget* secondRow_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* byteStatus_ = nullptr;
    QLabel* tokenStatus_ = nullptr;
    QComboBox* tokenPicker_ = nullptr;
    QLabel* previewStatus_ = nullptr;
    QComboBox* encodingPicker_ = nullptr;
    QComboBox* endingPicker_ = nullptr;

    std::unique_ptr<TextStatisticsEngine> statistics_;
    WorkItemPtr statisticsWork_;
    // The text as counted for a revision: shares the storage's pieces, never a flattened copy.
    std::optional<std::pair<std::uint64_t, TextSnapshot>> statisticsText_;
    std::optional<StatisticsKey> statisticsKey_;
    std::uint64_t statisticsSchedules_ = 0;
};

}  // namespace korimado
