#pragma once

#include "selftest/SelfTestChecks.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteTask.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace korimado {

class KoriDocument;

// One run of the features suite: a fixture folder with an SVG drawing and a Japanese note, the
// drawing's window with its file tree and player, a second window opened from the path field,
// the settings window and the question asked before closing. Each phase answers false after a
// harness error, and the run goes straight to its end.
class SVGTreeRun {
public:
    SuiteTask<> run();

    // The drawing every run writes, plays and restores.
    static const QString& sampleSVG();
    // The second drawing's host, to be found nowhere in the sanitised page.
    static inline const QString externalAddress = QStringLiteral("https://assets.example.net");
    static QString unsafeSVG();

private:
    bool writeFixture();
    bool checkPathParser();
    bool checkListing();
    void checkSanitiser();
    SuiteTask<bool> openDrawingWindow();
    SuiteTask<bool> checkPlayer();
    SuiteTask<> checkLiveEdit();
    SuiteTask<> checkPathField();
    SuiteTask<bool> restoreDrawing();
    SuiteTask<> checkSettingsWindow();
    SuiteTask<> checkCloseQuestion();
    SuiteTask<bool> writePreviewAndWindowReport();
    void finish();

    // Records the failure that ends the run; always false.
    bool harnessError(const QString& description);
    // Types text at the end of the drawing through its editor, as a user would.
    void typeAtEnd(const QString& text);
    // The preview shows the drawing's current revision and is not loading.
    bool previewCurrent() const;
    QWidget* window() const;
    // The harness error of a drawing window that is gone; false while it is there.
    bool windowClosed();

    SelfTestChecks checks_;
    QString root_;
    QString folder_;
    QString sample_;
    QString note_;
    QPointer<KoriDocument> drawing_;
    // Guarded: a window can close under the suite (a close that asks nothing).
    SelfTestWindow drawingWindow_;
};

}  // namespace korimado
