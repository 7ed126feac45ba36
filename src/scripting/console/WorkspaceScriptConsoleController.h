#pragma once

#include "scripting/console/ChunkedUtf8Decoder.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

class QPushButton;
class QWidget;

namespace korimado {

class MenuItem;
class MiddleTruncatingLabel;
class ScriptOutputView;

// The script runner of one document window: the user picks a local script and runs it only by
// pressing "実行", watching its merged output (the first MiB of it) and its exit status. Scripts
// run in the document's folder (else their own) with PATH, HOME and LANG as their only variables,
// and KORIMADO_BUS_ADDRESS, the bus of this program, where korimado-event looks first.
class WorkspaceScriptConsoleController : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 maximumOutputBytes = 1048576;
    static inline const QString noScriptText = QStringLiteral("スクリプトが選ばれていません。");
    static inline const QString initialOutput = QStringLiteral("実行結果をここに表示します。");
    static inline const QString capNotice = QStringLiteral("\n出力が1 MiBを超えたため、以降は表示しません。\n");
    // What runs a script that is not executable itself.
    static inline const QString shellPath = QStringLiteral("/bin/sh");

    explicit WorkspaceScriptConsoleController(std::optional<QString> workingDirectory);
    ~WorkspaceScriptConsoleController() override;

    std::optional<QString> workingDirectory() const { return workingDirectory_; }
    std::optional<QString> selectedURL() const { return selectedURL_; }
    QProcess* process() const { return process_.get(); }
    qint64 outputBytes() const { return outputBytes_; }

    QWidget* window() const { return window_; }
    MiddleTruncatingLabel* path() const { return path_; }
    ScriptOutputView* output() const { return output_; }
    QPushButton* runButton() const { return runButton_; }
    QPushButton* stopButton() const { return stopButton_; }

    void showWindow(MenuItem* sender = nullptr);
    void chooseScript(MenuItem* sender = nullptr);
    // Takes path as the chosen script (what the panel does); nothing runs.
    void selectScript(const QString& path);
    void runScript(MenuItem* sender = nullptr);
    void stopScript(MenuItem* sender = nullptr);
    void windowWillClose();

    // The program and its arguments a script runs as: itself when it is executable, else the
    // shell with its path; and the environment it runs with.
    static QStringList command(const QString& script);
    static QProcessEnvironment environment();
    // The line that ends a run's output: its exit status, or the signal that ended it.
    static QString endLine(int exitCode, QProcess::ExitStatus status);

    // Waits after the stop request before the script's process group is killed outright.
    static constexpr int killDelayMs = 3000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildInterface();
    void readOutput();
    void appendBytes(const QByteArray& bytes);
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void launchFailed();
    void signalProcessGroup(int signal);

    std::optional<QString> workingDirectory_;
    std::optional<QString> selectedURL_;
    std::unique_ptr<QProcess> process_;
    qint64 outputBytes_ = 0;
    // One decoder per run: a character cut between two reads is joined again.
    ChunkedUtf8Decoder decoder_;

    QPointer<QWidget> window_;
    MiddleTruncatingLabel* path_ = nullptr;
    ScriptOutputView* output_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
};

}  // namespace korimado
