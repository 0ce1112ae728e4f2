// libFuzzer target for reading a calendar file: any bytes in a vdir item must be listed, skipped
// with a reason or refused with an error object, never crash, hang or read out of bounds. The
// item is opened as the import list opens it: sorted by start, occurrences expanded over a year.
#include "FuzzSupport.h"
#include "calendar/Calendar.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString folder = fuzz::Root() + QStringLiteral("/vdir");
    fuzz::WriteFile(folder + QStringLiteral("/Calendar/item.ics"), data, size);
    try {
        auto app = cal::Application::Create(folder);
        cal::Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items();
        items.Sort(QStringLiteral("[Start]"));
        items.SetIncludeRecurrences(true);
        int n = 0;
        for (cal::Item item = items.Find(QStringLiteral("[Start] >= \"2020-01-01\" AND [Start] <= \"2021-01-01\""));
             item && n < 500; item = items.FindNext(), ++n) {
            (void)item.Subject();
            (void)item.Body();
            (void)item.Location();
            (void)item.StartSecs();
            (void)item.EndSecs();
            (void)item.IsRecurring();
            (void)item.BillingInformation();
        }
        app->Quit();
    } catch (...) {
        // an error object: what a reader may do with bytes it cannot use
    }
    // Without its summary cache, the next input is read from its file again.
    QDir(fuzz::Root() + QStringLiteral("/cache")).removeRecursively();
    return 0;
}
