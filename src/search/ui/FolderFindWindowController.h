#pragma once

#include "search/folder/FolderReplaceReceipt.h"
#include "search/folder/FolderReplacementPreview.h"
#include "search/folder/FolderSearchOptions.h"
#include "search/folder/FolderSearchResult.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchRequest.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <type_traits>

#include <cstdint>
#include <exception>
#include <functional>
#include <type_traits>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace korimado {

class DispatchQueue;
class FolderFileSystem;
class FolderFindResultsModel;

// The folder search window of one find panel: searches every text file under a folder in the
// background, lists the files with hits, previews a replacement, writes the ticked files through
// the folder engine's safe apply and rolls the last application back. It never touches a document.
// Paths are kept and compared in standardised form.
class FolderFindWindowController : public QWidget {
    Q_OBJECT

public:
    // The standardised paths of every document open in the application right now.
    using OpenDocumentsProvider = std::function<QSet<QString>()>;

    FolderFindWindowController(const std::optional<QString>& initialRootURL, const SearchRequest& initialRequest,
                               OpenDocumentsProvider openDocumentURLs);
    ~FolderFindWindowController() override;

    // The options the window's fields describe; the request comes from currentRequest().
    SearchRequest currentRequest() const;
    FolderSearchOptions currentOptions() const;
    // The folder typed into rootField, as it is handed to the engine.
    QString currentRootURL() const;
    // The comma-separated exclusions field as a list of patterns.
    static QStringList excludedGlobs(const QString& text);

    void chooseRoot();
    void searchFolder();
    void cancel();
    void makePreview();
    void applyPreview();
    void rollback();
    // The apply box of a row was switched.
    void toggleFile(int row, bool on);

    // The file a table row shows: the preview's source file in preview mode, else the result's.
    const FolderSearchFile* fileAt(int row) const;
    const FolderReplacementFile* previewFileAt(int row) const;
    int rowCount() const;
    bool isPreviewMode() const { return preview_.has_value(); }

    const std::optional<FolderSearchResult>& result() const { return result_; }
    const std::optional<SearchRequest>& resultRequest() const { return resultRequest_; }
    const std::optional<FolderReplacementPreview>& preview() const { return preview_; }
    const std::optional<FolderReplaceReceipt>& receipt() const { return receipt_; }
    const QSet<QString>& selectedURLs() const { return selectedURLs_; }
    const QSet<QString>& blockedOpenURLs() const { return blockedOpenURLs_; }
    std::uint64_t generation() const { return generation_; }
    bool isRunning() const { return token_ != nullptr; }
    DispatchQueue& queue() const { return *queue_; }

    QLineEdit* rootField() const { return rootField_; }
    QLineEdit* findField() const { return findField_; }
    QLineEdit* replaceField() const { return replaceField_; }
    QComboBox* modePicker() const { return modePicker_; }
    QLineEdit* exclusions() const { return exclusions_; }
    QCheckBox* recursiveBox() const { return recursive_; }
    QCheckBox* hiddenBox() const { return hidden_; }
    QCheckBox* symlinksBox() const { return symlinks_; }
    QCheckBox* matchCaseBox() const { return matchCase_; }
    QTableView* table() const { return table_; }
    FolderFindResultsModel* tableModel() const { return model_; }
    QLabel* statusLabel() const { return status_; }
    QString status() const;
    QPushButton* previewButton() const { return previewButton_; }
    QPushButton* applyButton() const { return applyButton_; }
    QPushButton* rollbackButton() const { return rollbackButton_; }
    QPushButton* button(const QString& title) const;
    // Sounds the system beep; tests count it.
    std::function<void()> beep;
    // The file system the engine's calls go through (none: the real one); tests make steps fail.
    void setFileSystem(FolderFileSystem* fileSystem) { fileSystem_ = fileSystem; }

    static inline const QString initialStatus = QStringLiteral("検索するフォルダと文字列を指定してください。");
    static inline const QString cancelledStatus = QStringLiteral("処理を中止しました。");
    static inline const QString requestChangedStatus =
        QStringLiteral("検索条件が変わりました。先にもう一度検索してください。");
    static inline const QString nothingSelectedStatus = QStringLiteral("置換するファイルを選択してください。");

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What a finished run does to the window; made on the queue, run on the main thread only
    // while the run is still current.
    struct Completion {
        Completion() = default;
        template <class F, class = std::enable_if_t<std::is_invocable_v<F&, FolderFindWindowController&>>>
        Completion(F f) : run(std::move(f))
        {
        }
        explicit operator bool() const { return bool(run); }
        std::function<void(FolderFindWindowController&)> run;
        // A run that left files written is told even when cancelled or superseded meanwhile.
        bool reportsWhenStale = false;
    };
    using Work = std::function<Completion(const SearchCancellationToken&)>;
    // The one background road of search, preview, apply and rollback.
    void start(const QString& statusText, Work work);
    // The completion of a run whose work threw: the description in the status line and a beep.
    static Completion failure(std::exception_ptr error);

    void configure(const std::optional<QString>& initialRootURL, const SearchRequest& request);
    void setStatus(const QString& text);
    void fail(const QString& description);
    void reloadTable();
    void searchFinished(const FolderSearchResult& found, const SearchRequest& request);
    void previewFinished(const FolderReplacementPreview& made);
    // The open documents' paths, each also with its links resolved.
    QSet<QString> resolvedOpenDocuments() const;

    OpenDocumentsProvider openDocumentURLs_;
    FolderFileSystem* fileSystem_ = nullptr;
    // Shared with the work it runs, so that closing the window never waits for a restore.
    std::shared_ptr<DispatchQueue> queue_;
    SearchCancellationTokenPtr token_;
    std::uint64_t generation_ = 0;
    std::optional<FolderSearchResult> result_;
    std::optional<SearchRequest> resultRequest_;
    std::optional<FolderReplacementPreview> preview_;
    QSet<QString> selectedURLs_;
    QSet<QString> blockedOpenURLs_;
    std::optional<FolderReplaceReceipt> receipt_;

    QLineEdit* rootField_ = nullptr;
    QLineEdit* findField_ = nullptr;
    QLineEdit* replaceField_ = nullptr;
    QComboBox* modePicker_ = nullptr;
    QLineEdit* exclusions_ = nullptr;
    QCheckBox* recursive_ = nullptr;
    QCheckBox* hidden_ = nullptr;
    QCheckBox* symlinks_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QTableView* table_ = nullptr;
    FolderFindResultsModel* model_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* rollbackButton_ = nullptr;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace korimado
