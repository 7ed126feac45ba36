#pragma once

#include "platform/foundation/WorkItem.h"
#include "platform/text/TextRange.h"
#include "search/engine/SearchCancellationToken.h"
#include "syntax/SyntaxOutlineEntry.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QWidget;

namespace korimado {

class DispatchQueue;
class DetailPreview;
class PreviewWebView;
class KoriDocument;
class SegmentedControl;

// The right-hand pane of a document window: the preview, the document information, the
// outline, the warnings and the detailed counts, one at a time under a segmented control. The
// information, warnings, counts and preview are computed off the main thread; a result is shown
// only while nothing newer was asked for.
class DetailPane : public QObject {
    Q_OBJECT

public:
    enum Segment { preview = 0, information = 1, outline = 2, warnings = 3, counts = 4 };

    // selection answers the active editor's selection; outline the active editor's outline.
    DetailPane(KoriDocument& document, std::function<TextRange()> selection,
               std::function<const std::vector<SyntaxOutlineEntry>&()> outline, QObject* parent = nullptr);
    ~DetailPane() override;

    QWidget* widget() const { return pane_; }
    SegmentedControl* detailPicker() const { return detailPicker_; }
    QCheckBox* countSpaces() const { return countSpaces_; }
    QCheckBox* countNewlines() const { return countNewlines_; }
    QWidget* countOptions() const { return countOptions_; }
    QPlainTextEdit* inspectionText() const { return inspectionText_; }
    QTableWidget* outlineTable() const { return outlineTable_; }
    QWidget* playerBar() const { return playerBar_; }
    QPushButton* playButton() const { return playButton_; }
    PreviewWebView* web() const { return web_; }
    DetailPreview& previewer() const { return *preview_; }
    // The window's answers for the preview: whether an input method composes, and where the
    // preview's status goes.
    void setPreviewHooks(std::function<bool()> composing, std::function<void(const QString&)> status);
    int previewTop() const { return previewTop_; }
    int inspectionTop() const { return inspectionTop_; }

    int selectedSegment() const;
    void setSelectedSegment(int segment);
    // Whether the window's mode puts the pane on screen (split and preview modes).
    void setShown(bool shown);
    bool isShown() const { return shown_; }
    bool isSVG() const;
    bool isHTML() const;

    // Shows the chosen segment's view and brings it up to date.
    void updateVisibility();
    // Recomputes the information, warnings or counts when one of them is on screen.
    void refreshInspection();
    // The same after a selection change, unless the last inspection had this text and selection.
    void selectionDidChange();
    // Renders the preview when it is on screen: at once, or after a pause that grows with the text.
    void schedulePreview(bool immediate);
    // Drops a pending or running render.
    void cancelPreview();
    void reloadOutline();
    // Tells whether the outline stops early; the list then ends with a note that says so.
    void setOutlineTruncated(std::function<bool()> truncated) { outlineTruncated_ = std::move(truncated); }
    // The document's file changed: the player bar, the web view's top and its name follow its kind.
    void documentKindChanged();
    // Nothing scheduled runs or is shown any more.
    void close();

    // The preview's state, for the window and its tests.
    std::uint64_t renderToken() const;
    std::optional<std::uint64_t> previewRevision() const;
    qint64 renderCount() const;
    double lastRenderMilliseconds() const;
    // How often an inspection or a preview was actually scheduled.
    std::uint64_t inspectionSchedules() const { return inspectionSchedules_; }
    std::uint64_t previewSchedules() const;

Q_SIGNALS:
    void segmentClicked(int segment);
    void outlineRowClicked(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void layout();

    KoriDocument* document_;
    std::function<TextRange()> selection_;
    std::function<const std::vector<SyntaxOutlineEntry>&()> outline_;
    std::function<bool()> outlineTruncated_;
    bool shown_ = false;
    bool closed_ = false;
    // The revision and selection the last inspection was scheduled for.
    std::optional<std::pair<std::uint64_t, TextRange>> inspected_;

    QWidget* pane_ = nullptr;
    SegmentedControl* detailPicker_ = nullptr;
    QCheckBox* countSpaces_ = nullptr;
    QCheckBox* countNewlines_ = nullptr;
    QWidget* countOptions_ = nullptr;
    QPlainTextEdit* inspectionText_ = nullptr;
    QTableWidget* outlineTable_ = nullptr;
    QWidget* playerBar_ = nullptr;
    QPushButton* playButton_ = nullptr;
    PreviewWebView* web_ = nullptr;
    std::unique_ptr<DetailPreview> preview_;
    std::function<bool()> composing_;
    std::function<void(const QString&)> previewStatus_;
    int inspectionTop_ = 34;
    int previewTop_ = 34;

    std::uint64_t inspectionGeneration_ = 0;
    std::unique_ptr<DispatchQueue> inspectionQueue_;
    WorkItemPtr inspectionWork_;
    std::shared_ptr<SearchCancellationToken> inspectionCancellation_;
    std::uint64_t inspectionSchedules_ = 0;

};

}  // namespace korimado
