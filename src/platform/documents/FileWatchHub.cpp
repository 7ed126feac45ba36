#include "platform/documents/FileWatchHub.h"
#include "platform/foundation/FilePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace korimado {

namespace {

constexpr std::uint32_t fileMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF;
// One mask for every folder watch, so that watches sharing a folder never narrow each other.
constexpr std::uint32_t folderMask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR | IN_ATTRIB |
                                     IN_DELETE_SELF | IN_MOVE_SELF;

QString joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

}  // namespace

struct FileWatchHub::PathWatch {
    QString path;
    QString folder;
    int wd = -1;
    int subscribers = 0;
};

FileWatchHub& FileWatchHub::shared()
{
    // Never destroyed: subscriptions may outlive the application object during shutdown.
    static FileWatchHub* hub = new FileWatchHub;
    return *hub;
}

FileWatchHub::FileWatchHub()
{
    Q_ASSERT(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread());
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    }
}

FileWatchHub::~FileWatchHub()
{
    delete notifier_;
    if (fd_ >= 0) ::close(fd_);
}

FileWatchHub::Token FileWatchHub::subscribe(const QString& path, Handler handler)
{
    if (fd_ < 0 || path.isEmpty()) return 0;
    const QString clean = standardizedPath(path);
    auto found = paths_.find(clean);
    if (found == paths_.end()) {
        auto watch = std::make_unique<PathWatch>();
        watch->path = clean;
        watch->folder = QFileInfo(clean).path();
        if (!armFile(*watch)) return 0;
        retainFolder(watch->folder);
        found = paths_.emplace(clean, std::move(watch)).first;
    }
    found->second->subscribers += 1;
    const Token token = nextToken_++;
    subscriptions_.emplace(token, std::make_pair(clean, std::make_shared<Handler>(std::move(handler))));
    return token;
}

FileWatchHub::Token FileWatchHub::subscribeFolder(const QString& path, Handler handler)
{
    if (fd_ < 0 || path.isEmpty()) return 0;
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (retainFolder(clean) < 0) {
        releaseFolder(clean);
        return 0;
    }
    const Token token = nextToken_++;
    folderSubscriptions_.emplace(token, std::make_pair(clean, std::make_shared<Handler>(std::move(handler))));
    return token;
}

void FileWatchHub::unsubscribe(Token token)
{
    if (const auto folder = folderSubscriptions_.find(token); folder != folderSubscriptions_.end()) {
        const QString path = folder->second.first;
        folderSubscriptions_.erase(folder);
        releaseFolder(path);
        return;
    }
    const auto sub = subscriptions_.find(token);
    if (sub == subscriptions_.end()) return;
    const QString path = sub->second.first;
    subscriptions_.erase(sub);
    const auto found = paths_.find(path);
    if (found == paths_.end()) return;
    PathWatch& watch = *found->second;
    if (--watch.subscribers > 0) return;
    disarmFile(watch);
    releaseFolder(watch.folder);
    paths_.erase(found);
}

int FileWatchHub::kernelWatchCount() const
{
    return static_cast<int>(fileWatches_.uniqueKeys().size()) + static_cast<int>(folderByWd_.uniqueKeys().size());
}

bool FileWatchHub::armFile(PathWatch& watch)
{
    const QByteArray native = encodedFileName(watch.path);
    const int wd = inotify_add_watch(fd_, native.constData(), fileMask);
    if (wd < 0) return false;
    watch.wd = wd;
    fileWatches_.insert(wd, watch.path);
    return true;
}

void FileWatchHub::disarmFile(PathWatch& watch)
{
    if (watch.wd < 0) return;
    fileWatches_.remove(watch.wd, watch.path);
    // Hard links to one file share the kernel watch: keep it while another path uses it.
    if (!fileWatches_.contains(watch.wd)) inotify_rm_watch(fd_, watch.wd);
    watch.wd = -1;
}

int FileWatchHub::retainFolder(const QString& folder)
{
    FolderWatch& entry = folders_[folder];
    entry.users += 1;
    // Also when the kernel dropped an earlier watch: a new folder may stand at the path now.
    if (entry.wd < 0) {
        entry.wd = inotify_add_watch(fd_, QFile::encodeName(folder).constData(), folderMask);
        if (entry.wd >= 0) folderByWd_.insert(entry.wd, folder);
    }
    return entry.wd;
}

void FileWatchHub::releaseFolder(const QString& folder)
{
    const auto found = folders_.find(folder);
    if (found == folders_.end()) return;
    if (--found->users > 0) return;
    if (found->wd >= 0) {
        folderByWd_.remove(found->wd, folder);
        if (!folderByWd_.contains(found->wd)) inotify_rm_watch(fd_, found->wd);
    }
    folders_.erase(found);
}

void FileWatchHub::readEvents()
{
    // Events are gathered per path first, so that a burst reaches each handler once.
    std::map<QString, Events> pending;
    std::map<QString, Events> folderPending;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        for (char* p = buffer; p < buffer + count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;

            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: tell everyone, the subscribers re-examine their files.
                for (const auto& [path, watch] : paths_) pending[path] |= modified | attributes;
                for (const auto& [token, sub] : folderSubscriptions_) folderPending[sub.first] |= entriesChanged | attributes;
                continue;
            }
            if (folderByWd_.contains(event->wd)) {
                folderEvent(event->wd, *event, pending, folderPending);
                continue;
            }
            const QList<QString> paths = fileWatches_.values(event->wd);
            for (const QString& path : paths) {
                const auto found = paths_.find(path);
                if (found == paths_.end()) continue;
                PathWatch& watch = *found->second;
                Events events = 0;
                if (event->mask & IN_MODIFY) events |= modified;
                if (event->mask & IN_ATTRIB) events |= attributes;
                if (event->mask & IN_CLOSE_WRITE) events |= closedWrite;
                if (event->mask & IN_MOVE_SELF) events |= moved;
                if (event->mask & IN_DELETE_SELF) events |= deleted;
                if (event->mask & IN_UNMOUNT) events |= revoked;
                if (event->mask & (IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                    // The file that stood at the path is gone from it; stop following that inode.
                    if (event->mask & IN_IGNORED) {
                        fileWatches_.remove(event->wd, path);
                        watch.wd = -1;
                    } else {
                        disarmFile(watch);
                    }
                }
                if (events) pending[path] |= events;
            }
        }
    }
    for (const auto& [path, events] : pending) deliver(path, events);
    for (const auto& [folder, events] : folderPending) deliverToFolder(folder, events);
}

void FileWatchHub::folderEvent(int wd, const inotify_event& event, std::map<QString, Events>& pending,
                               std::map<QString, Events>& folderPending)
{
    const QList<QString> folders = folderByWd_.values(wd);
    if (event.len == 0) {
        // The folder itself.
        Events events = 0;
        if (event.mask & IN_ATTRIB) events |= attributes;
        if (event.mask & IN_MOVE_SELF) events |= moved;
        if (event.mask & IN_DELETE_SELF) events |= deleted;
        if (event.mask & (IN_IGNORED | IN_UNMOUNT)) {
            events |= revoked;
            // The kernel dropped the watch; its number may come back for another folder.
            folderByWd_.remove(wd);
            for (const QString& folder : folders) {
                if (const auto found = folders_.find(folder); found != folders_.end()) found->wd = -1;
            }
        }
        if (events) {
            for (const QString& folder : folders) folderPending[folder] |= events;
        }
        return;
    }
    const QString name = QFile::decodeName(event.name);
    const bool entries = event.mask & (IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE);
    for (const QString& folder : folders) {
        if (entries) folderPending[folder] |= entriesChanged;
        const QString path = joinPath(folder, name);
        const auto found = paths_.find(path);
        if (found == paths_.end()) continue;
        PathWatch& watch = *found->second;
        if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
            disarmFile(watch);
            armFile(watch);
            pending[path] |= replaced;
        } else if (event.mask & IN_MOVED_FROM) {
            pending[path] |= moved;
        } else if (event.mask & IN_DELETE) {
            pending[path] |= deleted;
        }
    }
}

void FileWatchHub::deliverToFolder(const QString& folder, Events events)
{
    std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
    for (const auto& [token, sub] : folderSubscriptions_) {
        if (sub.first == folder) targets.emplace_back(token, sub.second);
    }
    for (const auto& [token, handler] : targets) {
        if (folderSubscriptions_.count(token)) (*handler)(events);
    }
}

void FileWatchHub::deliver(const QString& path, Events events)
{
    std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
    for (const auto& [token, sub] : subscriptions_) {
        if (sub.first == path) targets.emplace_back(token, sub.second);
    }
    for (const auto& [token, handler] : targets) {
        // A handler may have ended another subscription meanwhile.
        if (subscriptions_.count(token)) (*handler)(events);
    }
}

}  // namespace korimado
