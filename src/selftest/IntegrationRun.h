#pragma once

#include "selftest/SelfTestChecks.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteTask.h"

#include <QList>
#include <QPointer>
#include <QString>

class QWidget;

namespace korimado {

class KoriDocument;
class TextView;

// One run of the integration suite: its document, its window and its records. The phases run in
// the order of run(); each leaves the document as the next one expects it.
class IntegrationRun {
public:
    SuiteTask<> run();

    static inline const QString fixtureText = QStringLiteral("let alpha = 12\n// 日本語\nprint(alpha)\n");

private:
    SuiteTask<bool> setUp();
    void checkBundle();
    SuiteTask<> checkHighlightingAndWindow();
    SuiteTask<> checkOutlineAndCounter();
    SuiteTask<> checkColorPanel();
    SuiteTask<> checkSplitAndCarets();
    SuiteTask<> checkFindPanel();
    SuiteTask<> checkBatchReplace();
    void checkScripting();
    SuiteTask<> checkNativeInput();
    SuiteTask<bool> checkSaving();
    void finish();
    void harnessError(const QString& description);

    QString text() const;
    // The whole text replaced through the document's edit entry, as a script setting it would.
    void setContents(const QString& contents);
    void resetUndo();
    void markClean();
    void undo();
    bool canUndo() const;
    // The primary editor, and every editor the code pane shows.
    TextView* editor() const;
    QList<TextView*> editors() const;
    // Makes the test window key and its editor the first responder again.
    void focusEditor();

    SelfTestChecks checks_;
    QString fixture_;
    QString copy_;
    QPointer<KoriDocument> document_;
    SelfTestWindow window_;
};

}  // namespace korimado
