// libFuzzer target for the summary cache: whatever the cache file holds (damaged, edited, cut
// off, from another version), opening the calendar must either trust it because it checks out
// or read the items from their files again; never crash, and never list what no file holds.
#include "FuzzSupport.h"
#include "calendar/Calendar.h"
#include "calendar/Model.h"

#include <cstddef>
#include <cstdint>

namespace {
const char kItem[] = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//fuzz//EN\r\nBEGIN:VEVENT\r\nUID:one@fuzz\r\n"
                     "DTSTAMP:20200101T000000Z\r\nDTSTART:20200301T090000Z\r\nDTEND:20200301T100000Z\r\n"
                     "SUMMARY:One\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString folder = fuzz::Root() + QStringLiteral("/vdir");
    fuzz::WriteFile(folder + QStringLiteral("/Calendar/one@fuzz.ics"), reinterpret_cast<const uint8_t*>(kItem),
                    sizeof kItem - 1);
    fuzz::WriteFile(cal::detail::CachePath(folder, cal::Collection::Calendar), data, size);
    try {
        auto app = cal::Application::Create(folder);
        cal::Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items();
        if (items.Count() != 1)
            __builtin_trap(); // the folder holds one item, whatever the cache says
        cal::Item item = items.Item(1);
        if (item.Subject() != QLatin1String("One"))
            __builtin_trap();
        app->Quit();
    } catch (...) {
    }
    return 0;
}
