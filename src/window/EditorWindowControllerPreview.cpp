// The window's side of the preview: when it is wanted, the first paint, the SVG player's actions.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "editor/EditorTextView.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/DetailPane.h"
#include "window/DetailPreview.h"
#include "window/FirstPaintReport.h"

namespace korimado {

void EditorWindowController::wantPreview()
{
    detailPane_->previewer().want();
}

void EditorWindowController::afterFirstPaint(std::function<void()> job)
{
    if (firstPaintDone_) {
        job();
        return;
    }
    afterFirstPaint_.push_back(std::move(job));
}

void EditorWindowController::textViewDidPaint()
{
    if (firstPaintDone_ || closed_) return;
    firstPaintDone_ = true;
    reportFirstPaint();
    std::vector<std::function<void()>> jobs;
    jobs.swap(afterFirstPaint_);
    for (auto& job : jobs) job();
    releaseParses();
    // Every document is previewed (plain text as Markdown), but only once its text is on screen.
    DetailPreview& preview = detailPane_->previewer();
    preview.setPainted();
    preview.want();
}

void EditorWindowController::toggleSVGPlayback(MenuItem*) { detailPane_->previewer().toggleSVGPlayback(); }
void EditorWindowController::restartSVG(MenuItem*) { detailPane_->previewer().restartSVG(); }
void EditorWindowController::zoomInSVG(MenuItem*) { detailPane_->previewer().zoomIn(); }
void EditorWindowController::zoomOutSVG(MenuItem*) { detailPane_->previewer().zoomOut(); }
void EditorWindowController::resetSVGZoom(MenuItem*) { detailPane_->previewer().resetZoom(); }

}  // namespace korimado
