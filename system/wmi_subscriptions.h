// What the WMI event subscription page reads, behind a small interface: the
// system's WMI through COM, or a stand-in with objects of its own (tests;
// Wine's WMI has no subscription namespace).
#pragma once
#include "platform/win.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One object of root\subscription: its class, its relative path (the form a
// binding uses to name it) and the text of those asked-for properties it has.
struct WmiObject {
    std::wstring className;     // __CLASS
    std::wstring relativePath;  // __RELPATH
    std::vector<std::pair<std::wstring, std::wstring>> properties;

    // The text of a property, or null when the object has none.
    const std::wstring* Find(const wchar_t* name) const;
};

// The objects the page lists. Open comes first; the listings only after it succeeded.
class WmiSubscriptionSource {
public:
    virtual ~WmiSubscriptionSource() = default;
    // Connects to the root\subscription namespace: S_OK, or the error that prevents it.
    virtual HRESULT Open() = 0;
    // The instances of `className` and of every class derived from it, each
    // with those of the `count` named properties it holds (numbers as
    // decimal text). At most kWmiObjectLimit objects: S_FALSE when more were
    // there; S_OK for all of them; an error code ends the listing, and what
    // was read before stays in `objects`.
    virtual HRESULT ListObjects(const wchar_t* className, const wchar_t* const* properties, size_t count,
                                std::vector<WmiObject>* objects) = 0;
};

constexpr size_t kWmiObjectLimit = 1000;

// The system's WMI (COM must be initialised on the calling thread, for the
// life of the object).
std::unique_ptr<WmiSubscriptionSource> CreateSystemWmiSource();
