// What the findings read from the catalog: a line's services and drivers,
// the products' event log sources, and which entries are of the older
// generation or of the product catalog.
#pragma once
#include "products/product_data.h"

#include <string>
#include <vector>

// The services and drivers whose keys the line's registry page lists (for the
// family dump: the family's service, driver and update service keys), each once.
std::vector<std::string> LineServices(const LineProcedure& steps);
// The event log sources of the product catalog's lines, each once.
std::vector<std::string> ProductEventSources();
// True for a key below the former vendor's key: an entry of the older generation.
bool IsOlderGenerationKey(const char* key);
// True for an entry of the product catalog (not one of the recovery tools).
bool IsProductCatalogEntry(const ProductLine& entry);
