#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
struct inotify_event;

namespace korimado {

// One inotify descriptor for the whole process. Watches are shared per path and counted by
// subscription; events reach the handlers on the main thread. A file replaced by rename (the
// usual atomic save of other programs) is found again through its parent folder, so the
// subscription keeps following whatever file stands at the path. A folder can be watched too: its
// own entries coming and going, and the folder itself changed, moved or deleted.
class FileWatchHub : public QObject {
    Q_OBJECT

public:
    enum Event : std::uint32_t {
        modified = 1u << 0,     // contents written or extended
        attributes = 1u << 1,   // permissions, times, link count
        closedWrite = 1u << 2,  // a writer closed the file
        moved = 1u << 3,        // the watched file was renamed away
        deleted = 1u << 4,      // the watched file was removed
        replaced = 1u << 5,     // another file now stands at the path
        revoked = 1u << 6,      // the watch ended (file system unmounted, descriptor reset)
        entriesChanged = 1u << 7,  // a watched folder gained, lost or renamed an entry
    };
    using Events = std::uint32_t;
    using Handler = std::function<void(Events)>;
    using Token = std::uint64_t;

    // The process-wide hub; create and use it on the main thread only.
    static FileWatchHub& shared();

    // Starts delivering events for path; 0 when the path cannot be watched (it does not exist,
    // or inotify is unavailable).
    Token subscribe(const QString& path, Handler handler);
    // Starts delivering events for the folder at path (a link to a folder is followed): entriesChanged,
    // attributes, moved, deleted and revoked for the folder itself. Changes inside its subfolders
    // are not reported. 0 when the folder cannot be watched.
    Token subscribeFolder(const QString& path, Handler handler);
    // Stops a subscription; the kernel watch goes when its last subscriber does. Safe inside a handler.
    void unsubscribe(Token token);

    // Number of kernel watches in use (files and parent folders), for tests.
    int kernelWatchCount() const;

    ~FileWatchHub() override;

private:
    FileWatchHub();
    struct PathWatch;
    void readEvents();
    void deliver(const QString& path, Events events);
    void deliverToFolder(const QString& folder, Events events);
    void folderEvent(int wd, const struct inotify_event& event, std::map<QString, Events>& pending,
                     std::map<QString, Events>& folderPending);
    bool armFile(PathWatch& watch);
    void disarmFile(PathWatch& watch);
    int retainFolder(const QString& folder);
    void releaseFolder(const QString& folder);

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    Token nextToken_ = 1;
    std::map<Token, std::pair<QString, std::shared_ptr<Handler>>> subscriptions_;
    std::map<Token, std::pair<QString, std::shared_ptr<Handler>>> folderSubscriptions_;
    std::map<QString, std::unique_ptr<PathWatch>> paths_;
    QMultiHash<int, QString> fileWatches_;  // wd -> paths watched through it (hard links share one)
    struct FolderWatch {
        int wd = -1;
        int users = 0;  // parents of watched files and folder subscriptions
    };
    QHash<QString, FolderWatch> folders_;
    QMultiHash<int, QString> folderByWd_;  // one folder reached through a link and its own path share a wd
};

}  // namespace korimado
