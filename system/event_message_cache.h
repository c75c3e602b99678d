// The message libraries and the sources' registry texts of one classic event
// log export. A real log names the same few sources tens of thousands of
// times, and loading a library or reading the registry for every event costs
// far more than formatting its message. Collection worker thread only.
#pragma once
#include "platform/scoped_handle.h"

#include <cstddef>
#include <string>

// Loads the message library at `path`; null when it cannot be loaded.
using MessageLibraryLoader = HMODULE (*)(const char* path);

struct EventMessageCacheState;

// While one lives, MessageLibrary and KeptSourceText keep what they load and
// read, and hand it out again; when it ends, every library is freed. At most
// `libraryLimit` libraries are kept at once (beyond it the least recently
// used is freed); 0 keeps nothing, so every use loads and reads anew.
class EventMessageCacheScope {
public:
    explicit EventMessageCacheScope(size_t libraryLimit);
    ~EventMessageCacheScope();
    EventMessageCacheScope(const EventMessageCacheScope&) = delete;
    EventMessageCacheScope& operator=(const EventMessageCacheScope&) = delete;

private:
    EventMessageCacheState* state_;
    EventMessageCacheState* outer_;
};

// The library at `path` for one use: the one a scope keeps (loaded by `load`
// on its first use there, a failure kept too), or, without a scope, one
// loaded now and freed with this object. Null when it cannot be loaded. A
// kept library stays valid until the next library is asked for.
class MessageLibrary {
public:
    MessageLibrary(const std::string& path, MessageLibraryLoader load);
    MessageLibrary(const MessageLibrary&) = delete;
    MessageLibrary& operator=(const MessageLibrary&) = delete;
    HMODULE Get() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }

private:
    ScopedLibrary owned_;  // only when no scope keeps it
    HMODULE module_;
};

// The text kept for `key` by the scope; null when none is kept.
const std::string* FindSourceText(const std::string& key);
// Keeps `text` for `key` while the scope lives (nothing without one).
void KeepSourceText(const std::string& key, const std::string& text);

// The text kept for `key`, or what `read()` gives, kept from now on.
template <typename Read>
std::string KeptSourceText(const std::string& key, Read read)
{
    if (const std::string* kept = FindSourceText(key)) return *kept;
    std::string text = read();
    KeepSourceText(key, text);
    return text;
}

// The libraries kept by every scope that lives, loaded and not yet freed.
size_t HeldMessageLibraries();
