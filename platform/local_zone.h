// The machine's time zone, read once for a run of conversions.
#pragma once
#include <windows.h>

// Converting with no zone given reads the zone again each time, a server
// call under Wine; an event log converts a time for every event. Each
// conversion still applies the standard or daylight rule of its own date.
class LocalZone {
public:
    LocalZone() : known_(GetTimeZoneInformation(&zone_) != TIME_ZONE_ID_INVALID) {}
    bool ToLocal(const SYSTEMTIME& utc, SYSTEMTIME* local) const
    {
        return SystemTimeToTzSpecificLocalTime(known_ ? &zone_ : nullptr, &utc, local) != FALSE;
    }

private:
    TIME_ZONE_INFORMATION zone_{};
    bool known_;
};
