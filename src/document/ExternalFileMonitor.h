#pragma once

#include "platform/documents/FileWatchHub.h"

#include <QString>

#include <functional>
#include <memory>

namespace korimado {

class DispatchQueue;

// A watch on one file for changes made by other programs. Kernel events are sorted on the
// document's ".external-file" queue and reach the handler on the main thread.
class ExternalFileMonitor {
public:
    enum class Change { contentsOrAttributes, movedOrRemoved };
    using Handler = std::function<void(Change)>;

    // None when the file cannot be watched (it does not exist, for one).
    static std::unique_ptr<ExternalFileMonitor> make(const QString& path, std::shared_ptr<DispatchQueue> queue,
                                                     Handler handler);
    ~ExternalFileMonitor();
    ExternalFileMonitor(const ExternalFileMonitor&) = delete;
    ExternalFileMonitor& operator=(const ExternalFileMonitor&) = delete;

    bool isActive() const;
    // Stops delivery at once, also of events already on their way.
    void cancel();

    static Change classify(FileWatchHub::Events events);

private:
    struct State;
    ExternalFileMonitor() = default;
    std::shared_ptr<State> state_;
    FileWatchHub::Token token_ = 0;
};

}  // namespace korimado
