#include "system/event_message_cache.h"

#include "platform/bounded_lru.h"

namespace {

// Far more sources than a log names; each keeps up to three texts.
constexpr size_t kMostSourceTexts = 4096;

size_t g_heldLibraries = 0;

// A kept library, counted while it is loaded.
struct KeptLibraryTraits {
    using Handle = HMODULE;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h)
    {
        FreeLibrary(h);
        --g_heldLibraries;
    }
};
using KeptLibrary = ScopedHandle<KeptLibraryTraits>;

}  // namespace

struct EventMessageCacheState {
    explicit EventMessageCacheState(size_t libraryLimit)
        : keeps(libraryLimit > 0), libraries(libraryLimit), texts(keeps ? kMostSourceTexts : 0)
    {
    }
    bool keeps;
    BoundedLru<std::string, KeptLibrary> libraries;
    BoundedLru<std::string, std::string> texts;
};

namespace {

EventMessageCacheState* g_active = nullptr;

}  // namespace

EventMessageCacheScope::EventMessageCacheScope(size_t libraryLimit)
    : state_(new EventMessageCacheState(libraryLimit)), outer_(g_active)
{
    g_active = state_;
}

EventMessageCacheScope::~EventMessageCacheScope()
{
    g_active = outer_;
    delete state_;
}

MessageLibrary::MessageLibrary(const std::string& path, MessageLibraryLoader load) : module_(nullptr)
{
    if (g_active == nullptr || !g_active->keeps) {
        owned_.Reset(load(path.c_str()));
        module_ = owned_.Get();
        return;
    }
    if (const KeptLibrary* kept = g_active->libraries.Find(path)) {
        module_ = kept->Get();
        return;
    }
    KeptLibrary loaded(load(path.c_str()));
    if (loaded) ++g_heldLibraries;
    module_ = g_active->libraries.Insert(path, std::move(loaded))->Get();
}

const std::string* FindSourceText(const std::string& key)
{
    return g_active != nullptr ? g_active->texts.Find(key) : nullptr;
}

void KeepSourceText(const std::string& key, const std::string& text)
{
    if (g_active != nullptr && g_active->keeps) g_active->texts.Insert(key, text);
}

size_t HeldMessageLibraries() { return g_heldLibraries; }
