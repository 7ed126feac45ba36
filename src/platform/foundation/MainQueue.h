#pragma once

#include "platform/foundation/WorkItem.h"

#include <functional>

namespace korimado {

// Work for the main (GUI) thread, posted from any thread. Blocks run from the main event loop in
// the order posted; without an application object there is no main loop and they are dropped.
class MainQueue {
public:
    static void async(std::function<void()> block);
    static void async(WorkItemPtr item);
    // Runs the block on the main thread once `ms` milliseconds have passed (counted from the call,
    // also when posted from another thread).
    static void after(int ms, std::function<void()> block);
    static void after(int ms, WorkItemPtr item);
    static bool isMainThread();
};

}  // namespace korimado
