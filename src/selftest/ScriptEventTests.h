#pragma once

#include "platform/events/EventDescriptor.h"
#include "platform/events/InProcessEventChannel.h"
#include "selftest/SuiteAwait.h"
#include "selftest/SuiteTask.h"

#include <QJsonArray>
#include <QString>

#include <utility>
#include <vector>

namespace korimado {

class KoriDocument;

// The Apple-event suite: drives the program's scripting as an outside script would, with real
// events sent to the program's own handlers, and compares the document afterwards. The
// integration suite runs it on its document and appends the records it returns.
class ScriptEventTests {
public:
    ScriptEventTests() = delete;

    using Parameters = std::vector<std::pair<QString, EventDescriptor>>;

    // document must have an editor window; fixture is the file it was read from; the reference
    // files are read under root. The records in order; every failure is a record.
    static SuiteTask<QJsonArray> run(KoriDocument* document, QString fixture, QString root);

    // One event of class and ID (four characters each) to the program itself, the direct object
    // as "----" (none when null) and the parameters in order; resumes with the reply or the
    // reason there is none.
    static SuiteCompletion<InProcessEventChannel::Result> send(const QString& eventClass, const QString& eventID,
                                                               const EventDescriptor& direct, const Parameters& params);
};

}  // namespace korimado
