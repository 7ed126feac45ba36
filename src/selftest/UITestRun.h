#pragma once

#include "selftest/SelfTestChecks.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteTask.h"

#include <QImage>
#include <QJsonArray>
#include <QPointer>
#include <QString>

class QMainWindow;

namespace korimado {

class TextView;
class KoriDocument;

// One run of the UI suite: its records, its benchmarks and the sample window it keeps open. The
// phases live in files named for what they check; a phase answers false when it ended the run
// with a harness error.
class UITestRun {
public:
    SuiteTask<> run();

    static inline const QString reportPath = QStringLiteral("docs/evidence/ui-tests.json");
    static inline const QString samplePath = QStringLiteral("tests/fixtures/REA-sample.md");

private:
    // UITestEditing.cpp
    bool keepNormalizationEdit();
    SuiteTask<bool> openSampleWindow();
    SuiteTask<> typeUndoAndCompose();
    bool sendEditMenuItem(const QString& title);
    // UITestSaving.cpp
    SuiteTask<bool> saveSample();
    // UITestPreview.cpp
    SuiteTask<bool> checkPreview();
    // UITestCaptures.cpp
    SuiteTask<bool> captureWindow();
    // UITestPanels.cpp
    SuiteTask<> cancelPanelsOfUntitled();
    SuiteTask<> saveNewDocumentAs();
    // UITestBenchmarks.cpp
    SuiteTask<bool> runBenchmarks();
    SuiteTask<bool> runBenchmark(int lines);

    void harnessError(const QString& description);
    static inline const QString sampleClosedMessage = QStringLiteral("見本の書類が閉じられました。");
    static inline const QString measuredClosedMessage = QStringLiteral("計測中の書類が閉じられました。");
    void finish();

    QString sampleText() const;
    QMainWindow* sampleWindow() const;

    SelfTestChecks checks_;
    QJsonArray benchmarks_;
    QPointer<KoriDocument> sample_;
    SelfTestWindow sampleController_;
    QPointer<TextView> sampleView_;
    QImage previewSnapshot_;
};

}  // namespace korimado
