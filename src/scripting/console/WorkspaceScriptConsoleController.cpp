#include "scripting/console/WorkspaceScriptConsoleController.h"

#include "platform/events/EventBusLocation.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/MiddleTruncatingLabel.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/console/ScriptOutputView.h"
#include "platform/ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <csignal>
#include <unistd.h>

namespace korimado {

WorkspaceScriptConsoleController::WorkspaceScriptConsoleController(std::optional<QString> workingDirectory)
    : workingDirectory_(std::move(workingDirectory))
{
    buildInterface();
}

WorkspaceScriptConsoleController::~WorkspaceScriptConsoleController()
{
    if (process_) {
        process_->disconnect(this);
        signalProcessGroup(SIGKILL);
        process_->waitForFinished(1000);
    }
    delete window_;
}

void WorkspaceScriptConsoleController::buildInterface()
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("スクリプト実行コンソール"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setMinimumSize(540, 340);
    window->resize(700, 460);
    window->installEventFilter(this);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(0);

    auto* note = new QLabel(QStringLiteral("選んだローカルスクリプトは「実行」を押したときだけ動きます。自動実行はしません。"), window);
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);
    layout->addSpacing(12);

    path_ = new MiddleTruncatingLabel(noScriptText, window);
    path_->setAccessibleName(QStringLiteral("選択したスクリプト"));
    layout->addWidget(path_);
    layout->addSpacing(10);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* choose = new QPushButton(QStringLiteral("スクリプトを選ぶ…"), window);
    runButton_ = new QPushButton(QStringLiteral("実行"), window);
    stopButton_ = new QPushButton(QStringLiteral("停止"), window);
    runButton_->setEnabled(false);
    stopButton_->setEnabled(false);
    row->addWidget(choose);
    row->addWidget(runButton_);
    row->addWidget(stopButton_);
    row->addStretch(1);
    layout->addLayout(row);
    layout->addSpacing(12);

    output_ = new ScriptOutputView(12, QSizeF(4, 4), window);
    output_->setFrameShape(QFrame::StyledPanel);
    output_->setAccessibleName(QStringLiteral("スクリプトの実行結果"));
    output_->setText(initialOutput);
    layout->addWidget(output_, 1);

    connect(choose, &QPushButton::clicked, this, [this] { chooseScript(); });
    connect(runButton_, &QPushButton::clicked, this, [this] { runScript(); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { stopScript(); });
    // Return runs the chosen script, as the window's default button.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, window);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (runButton_->isEnabled())
                runScript();
        });
    }
    WindowPlacement::centreOnScreen(window);
    window_ = window;
}

void WorkspaceScriptConsoleController::showWindow(MenuItem*)
{
    WindowTracker::shared().makeKeyAndOrderFront(window_);
}

void WorkspaceScriptConsoleController::chooseScript(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels)
        return;
    OpenPanelOptions options;
    options.parent = window_;
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.message = QStringLiteral("シェルスクリプトか実行ファイルを選んでください。選択しただけでは実行しません。");
    // Executables have no extension of their own: the second filter offers every file.
    options.nameFilters = {QStringLiteral("シェルスクリプト (*.sh *.bash *.zsh *.command)"),
                           QStringLiteral("実行ファイルとスクリプト (*)")};
    if (selectedURL_)
        options.directory = QFileInfo(*selectedURL_).absolutePath();
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (result.confirmed && !result.paths.isEmpty())
        selectScript(result.paths.first());
}

void WorkspaceScriptConsoleController::selectScript(const QString& path)
{
    selectedURL_ = QFileInfo(path).absoluteFilePath();
    path_->setText(*selectedURL_);
    path_->setToolTip(*selectedURL_);
    runButton_->setEnabled(true);
}

QStringList WorkspaceScriptConsoleController::command(const QString& script)
{
    const QFileInfo file(script);
    if (file.isFile() && file.isExecutable())
        return {file.absoluteFilePath()};
    return {shellPath, script};
}

QString WorkspaceScriptConsoleController::endLine(int exitCode, QProcess::ExitStatus status)
{
    // QProcess gives the signal's number as the exit code of a process a signal ended.
    if (status == QProcess::CrashExit)
        return QStringLiteral("\nシグナル %1 で終了\n").arg(exitCode);
    return QStringLiteral("\n終了コード：") + QString::number(exitCode) + QStringLiteral("\n");
}

QProcessEnvironment WorkspaceScriptConsoleController::environment()
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin:/usr/sbin:/sbin"));
    environment.insert(QStringLiteral("HOME"), QDir::homePath());
    const QString lang = qEnvironmentVariable("LANG");
    environment.insert(QStringLiteral("LANG"), lang.isEmpty() ? QStringLiteral("ja_JP.UTF-8") : lang);
    // The bus of this program, so that the script drives the program that started it even when
    // another one of this user runs on another session bus.
    const QString bus = EventBusLocation::sessionAddress();
    if (!bus.isEmpty())
        environment.insert(EventBusLocation::programAddressVariable(), bus);
    return environment;
}

void WorkspaceScriptConsoleController::runScript(MenuItem*)
{
    if (process_ || !selectedURL_)
        return;
    const QString script = *selectedURL_;
    const QString folder = workingDirectory_.value_or(QFileInfo(script).absolutePath());
    // Said before anything starts: the launch error would blame the script for a missing folder.
    if (!QFileInfo(script).isFile()) {
        output_->setText(QStringLiteral("実行できませんでした。スクリプトがありません：") + script);
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        output_->setText(QStringLiteral("実行できませんでした。作業フォルダがありません：") + folder);
        return;
    }
    const QStringList line = command(script);
    process_ = std::make_unique<QProcess>();
    process_->setProgram(line.front());
    process_->setArguments(line.mid(1));
    process_->setWorkingDirectory(folder);
    process_->setProcessEnvironment(environment());
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setInputChannelMode(QProcess::ManagedInputChannel);
    // Its own process group, so that stopping it also stops what it started.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process_.get(), &QProcess::readyReadStandardOutput, this, &WorkspaceScriptConsoleController::readOutput);
    connect(process_.get(), &QProcess::finished, this, &WorkspaceScriptConsoleController::processFinished);
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            launchFailed();
    });

    output_->setText(QStringLiteral("実行中…\n"));
    outputBytes_ = 0;
    decoder_.reset();
    runButton_->setEnabled(false);
    stopButton_->setEnabled(true);
    process_->start();
    if (process_)
        process_->closeWriteChannel();
}

void WorkspaceScriptConsoleController::readOutput()
{
    if (process_)
        appendBytes(process_->readAllStandardOutput());
}

void WorkspaceScriptConsoleController::appendBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty() || outputBytes_ >= maximumOutputBytes)
        return;
    const qint64 taken = std::min<qint64>(bytes.size(), maximumOutputBytes - outputBytes_);
    outputBytes_ += taken;
    QString text = decoder_.decode(QByteArrayView(bytes).first(taken));
    if (outputBytes_ == maximumOutputBytes) {
        // A character cut by the cap ends the shown output as U+FFFD.
        text += decoder_.finish();
        text += capNotice;
    }
    output_->append(text);
    output_->scrollToEnd();
}

void WorkspaceScriptConsoleController::processFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!process_)
        return;
    // What the script wrote just before it ended comes first; the exit line is always last.
    appendBytes(process_->readAllStandardOutput());
    output_->append(decoder_.finish() + endLine(exitCode, status));
    output_->scrollToEnd();
    process_.release()->deleteLater();
    runButton_->setEnabled(selectedURL_.has_value());
    stopButton_->setEnabled(false);
}

void WorkspaceScriptConsoleController::launchFailed()
{
    if (!process_)
        return;
    const QString reason = process_->errorString();
    process_->disconnect(this);
    process_.release()->deleteLater();
    runButton_->setEnabled(selectedURL_.has_value());
    stopButton_->setEnabled(false);
    output_->setText(QStringLiteral("実行できませんでした。") + reason);
}

void WorkspaceScriptConsoleController::signalProcessGroup(int signal)
{
    if (!process_)
        return;
    const qint64 pid = process_->processId();
    if (pid > 0)
        ::kill(-pid_t(pid), signal);
}

void WorkspaceScriptConsoleController::stopScript(MenuItem*)
{
    if (!process_)
        return;
    signalProcessGroup(SIGTERM);
    // A script that ignores the request is ended outright a little later.
    QPointer<QProcess> running = process_.get();
    QTimer::singleShot(killDelayMs, this, [this, running] {
        if (running && running == process_.get())
            signalProcessGroup(SIGKILL);
    });
}

void WorkspaceScriptConsoleController::windowWillClose()
{
    if (process_ && process_->state() != QProcess::NotRunning)
        stopScript();
}

bool WorkspaceScriptConsoleController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Close)
        windowWillClose();
    return QObject::eventFilter(watched, event);
}

}  // namespace korimado
