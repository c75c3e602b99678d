#include "products/product_facts.h"

#include <cstring>

namespace {

const char kServicesKey[] = "System\\CurrentControlSet\\Services\\";
const char kEventLogPart[] = "EventLog\\";

void AddOnce(std::vector<std::string>& names, const std::string& name)
{
    if (name.empty()) return;
    for (const std::string& known : names) {
        if (_stricmp(known.c_str(), name.c_str()) == 0) return;
    }
    names.push_back(name);
}

// The part of `key` below the services key; null for any other key.
const char* BelowServices(const char* key)
{
    const size_t length = strlen(kServicesKey);
    if (key == nullptr || _strnicmp(key, kServicesKey, length) != 0) return nullptr;
    return key + length;
}

bool IsEventLogPart(const char* rest) { return _strnicmp(rest, kEventLogPart, strlen(kEventLogPart)) == 0; }

// "WxGuard" of "System\CurrentControlSet\Services\WxGuard\Parameters"; empty
// for an event log key or any other key.
std::string ServiceOf(const char* key)
{
    const char* rest = BelowServices(key);
    if (rest == nullptr || IsEventLogPart(rest)) return std::string();
    const char* end = strchr(rest, '\\');
    return end != nullptr ? std::string(rest, end) : std::string(rest);
}

// "WxGuard" of "System\CurrentControlSet\Services\EventLog\Application\WxGuard".
std::string EventSourceOf(const char* key)
{
    const char* rest = BelowServices(key);
    if (rest == nullptr || !IsEventLogPart(rest)) return std::string();
    const char* log = rest + strlen(kEventLogPart);
    const char* source = strchr(log, '\\');
    return source != nullptr ? std::string(source + 1) : std::string();
}

bool HasFamilyDump(const LineProcedure& steps)
{
    for (const RegistryListing& listing : steps.registry) {
        if (listing.step == RegistryStep::FamilyDump) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> LineServices(const LineProcedure& steps)
{
    std::vector<std::string> services;
    for (const RegistryListing& listing : steps.registry) AddOnce(services, ServiceOf(listing.path));
    if (HasFamilyDump(steps)) {
        for (const char* key : kFamilyRegistry.serviceKeys) AddOnce(services, ServiceOf(key));
        for (const char* key : kFamilyRegistry.driverKeys) AddOnce(services, ServiceOf(key));
        AddOnce(services, ServiceOf(kFamilyRegistry.updateServiceKey));
    }
    return services;
}

std::vector<std::string> ProductEventSources()
{
    std::vector<std::string> sources;
    for (const ProductLine& entry : kProductCatalog) {
        for (const RegistryListing& listing : entry.procedure->registry) {
            AddOnce(sources, EventSourceOf(listing.path));
        }
        if (HasFamilyDump(*entry.procedure)) {
            AddOnce(sources, EventSourceOf(kFamilyRegistry.eventSourceKey));
            AddOnce(sources, EventSourceOf(kFamilyRegistry.driverEventLogKey));
            AddOnce(sources, EventSourceOf(kFamilyRegistry.updateEventSourceKey));
        }
    }
    return sources;
}

bool IsOlderGenerationKey(const char* key)
{
    const size_t length = strlen(kFamilyRegistry.formerVendorKey);
    return key != nullptr && _strnicmp(key, kFamilyRegistry.formerVendorKey, length) == 0 && key[length] == '\\';
}

bool IsProductCatalogEntry(const ProductLine& entry)
{
    return &entry >= kProductCatalog.begin() && &entry < kProductCatalog.end();
}
