// Windows Security Center's antivirus and firewall products, asked through
// WMI (namespace root\SecurityCenter2). Client Windows has it from Vista on;
// servers, older Windows and Wine do not.
#pragma once
#include "app/findings.h"

#include <vector>

// Fills `products`. False when Security Center cannot be asked or did not
// answer whole (no such namespace, no WMI, COM not usable, a query that
// timed out). Initialises COM on the calling thread for its duration.
bool QuerySecurityCenter(std::vector<SecurityProduct>* products);
