#pragma once

#include "platform/foundation/ErrorInfo.h"
#include "platform/ui/AlertPresenter.h"

#include <vector>

namespace korimado {

struct AutosaveRecord;

// The question asked at start-up about autosaves a crash or a kill left behind: which documents,
// the full path of each file, and which files changed since their autosave was taken.
class AutosaveOffer {
public:
    enum Answer { restore = 0, later = 1, discard = 2 };

    // Whether the record's file no longer holds the bytes its autosave was made over. A file that
    // is gone has nothing to lose; a record without a digest (earlier versions) tells nothing.
    static bool fileChangedSince(const AutosaveRecord& record);
    static Alert question(const std::vector<const AutosaveRecord*>& records);
    // Tells of autosave folders left alone as unsafe, naming each.
    static Alert refusal(const std::vector<ErrorInfo>& refused);
};

}  // namespace korimado
