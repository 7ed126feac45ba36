// The record beside an autosave, read at start-up: any bytes are refused or give a record whose
// contents name stays inside its folder and which writes back and reads again unchanged, the
// digest of the file it was made over included.
#include "FuzzSupport.h"

#include "platform/documents/AutosavedContents.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<AutosaveRecord> record = AutosaveRecord::fromJson(fuzz::bytes(data, size));
    if (!record) return 0;
    FUZZ_CHECK(!record->contentsName.isEmpty() && !record->contentsName.contains(u'/'));
    FUZZ_CHECK(record->contentsName != QLatin1String("..") && record->contentsName != QLatin1String("."));
    const std::optional<AutosaveRecord> again = AutosaveRecord::fromJson(record->toJson());
    FUZZ_CHECK(again && again->contentsName == record->contentsName && again->fileURL == record->fileURL
               && again->fileType == record->fileType && again->displayName == record->displayName
               && again->state == record->state && again->fileContents == record->fileContents);
    return 0;
}
