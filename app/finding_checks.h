// The checks of the findings table (findings.h): the helpers they share and
// the checks that look at the machine itself (machine_checks.cpp).
#pragma once
#include "app/app_constants.h"
#include "app/findings.h"
#include "framework/framework.h"
#include "platform/bounded_text.h"

#include <string>

namespace finding_checks {

FindingOutcome Found(const std::string& evidence, const std::string& page = std::string());
FindingOutcome NotFound();
FindingOutcome NotAvailable(const std::string& why);
// Text `id` of the language library.
std::string Text(unsigned id);
// Text `id` as the format of the values.
template <typename... Values>
std::string Formatted(unsigned id, Values... values)
{
    char format[kPathSize] = "";
    char text[4 * kPathSize] = "";
    LoadResourceText(id, format);
    FormatText(text, format, values...);
    return text;
}
// Appends `item` to a list of items.
void Join(std::string& list, const std::string& item, const char* separator = ", ");
bool StartsWithNoCase(const std::string& text, const std::string& start);
// The Windows folder; empty when it is not known.
std::string WindowsFolder();

FindingOutcome CheckDiskSpace(const FindingContext& context);
FindingOutcome CheckRecentCrashes(const FindingContext& context);
FindingOutcome CheckRebootPending(const FindingContext& context);
FindingOutcome CheckLayeredProviders(const FindingContext& context);

}  // namespace finding_checks
