#include "info/signature_pool.h"

#include "platform/scoped_handle.h"

#include <climits>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Far more files than any machine's pages name; beyond it nothing is queued.
constexpr size_t kMostFiles = 4096;
// Larger files are left to the page: hashing one takes seconds, and the end
// of the pool would wait for it.
constexpr unsigned long long kLargestFile = 64ULL << 20;
constexpr unsigned kMostThreads = 4;
constexpr DWORD kPollMs = 50;
// How long a page waits for a file under way, and the pool's end for its
// threads: far beyond one verification of the largest file queued.
constexpr DWORD kLongestWaitMs = 60000;

// What tells one file, and one state of it, from another.
struct Identity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    DWORD sizeHigh;
    DWORD sizeLow;
    FILETIME lastWrite;
};

bool ReadIdentity(HANDLE file, Identity* identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                 info.nFileSizeHigh,        info.nFileSizeLow,   info.ftLastWriteTime};
    return true;
}

bool SameIdentity(const Identity& a, const Identity& b)
{
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow &&
           a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
           a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
           a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

// Paths compare without case (letters A-Z), as the checksum cache's do.
std::wstring KeyOf(const wchar_t* path)
{
    std::wstring key = path;
    for (wchar_t& c : key) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return key;
}

enum class EntryState { Queued, Running, Done, Unusable };

struct Entry {
    std::wstring path;
    EntryState state;
    Identity identity;
    FileSignature signature;
};

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~Locked() { LeaveCriticalSection(&section_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& section_;
};

}  // namespace

// Shared by the pool and its threads; the last of them to let go frees it.
struct SignaturePoolState {
    SignaturePoolState(const TrustFunctions& trust, bool (*isCancelled)(), void (*feedFunction)(SignatureFeed&))
        : functions(trust), cancelled(isCancelled), feed(feedFunction)
    {
        InitializeCriticalSection(&lock);
    }
    ~SignaturePoolState() { DeleteCriticalSection(&lock); }
    SignaturePoolState(const SignaturePoolState&) = delete;
    SignaturePoolState& operator=(const SignaturePoolState&) = delete;

    bool Cancelled() const { return cancelled != nullptr && cancelled(); }
    void Release()
    {
        if (InterlockedDecrement(&references) == 0) delete this;
    }

    const TrustFunctions functions;  // a copy: a thread may outlive the caller's table
    bool (*const cancelled)();
    void (*const feed)(SignatureFeed&);
    LONG references = 1;  // the pool's own
    LONG feedTaken = 0;   // the first thread to set it runs the feed

    ScopedKernelHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};    // the pool ends
    ScopedKernelHandle work{CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)};  // one count per queued file
    ScopedKernelHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // a file left Running
    std::vector<ScopedKernelHandle> threads;

    // Under the lock.
    CRITICAL_SECTION lock;
    bool ending = false;
    std::unordered_map<std::wstring, std::unique_ptr<Entry>> entries;
    std::deque<Entry*> queue;
};

namespace {

void SubmitTo(SignaturePoolState& state, const wchar_t* path)
{
    if (path == nullptr || path[0] == L'\0') return;
    std::wstring key = KeyOf(path);
    {
        Locked locked(state.lock);
        if (state.ending || state.entries.size() >= kMostFiles || state.entries.count(key) != 0) return;
        std::unique_ptr<Entry> entry(new Entry());
        entry->path = path;
        entry->state = EntryState::Queued;
        state.queue.push_back(entry.get());
        state.entries.emplace(std::move(key), std::move(entry));
    }
    ReleaseSemaphore(state.work.Get(), 1, nullptr);
}

// The next queued file, marked Running; null when none is left.
Entry* NextFile(SignaturePoolState& state)
{
    Locked locked(state.lock);
    while (!state.queue.empty()) {
        Entry* entry = state.queue.front();
        state.queue.pop_front();
        if (entry->state != EntryState::Queued) continue;  // taken back by a page
        entry->state = EntryState::Running;
        return entry;
    }
    return nullptr;
}

// Opens the file as this thread sees it; the page's own look at it tells
// later whether it is the same file.
void Verify(SignaturePoolState& state, Entry* entry)
{
    FileSignature signature;
    Identity before = {};
    Identity after = {};
    bool usable = false;
    {
        ScopedKernelHandle file(CreateFileW(entry->path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file && ReadIdentity(file.Get(), &before) &&
            ((static_cast<unsigned long long>(before.sizeHigh) << 32) | before.sizeLow) <= kLargestFile) {
            CheckOpenFileSignature(file.Get(), entry->path.c_str(), state.functions, &signature);
            usable = ReadIdentity(file.Get(), &after) && SameIdentity(before, after);
        }
    }
    Locked locked(state.lock);
    entry->state = usable ? EntryState::Done : EntryState::Unusable;
    entry->identity = before;
    entry->signature = signature;
    SetEvent(state.finished.Get());
}

void RunFeed(SignaturePoolState& state)
{
    if (state.feed == nullptr || InterlockedExchange(&state.feedTaken, 1) != 0 || state.Cancelled()) return;
    SignatureFeed feed(&state);
    state.feed(feed);
}

DWORD WINAPI VerifierThread(void* parameter)
{
    auto* state = static_cast<SignaturePoolState*>(parameter);
    RunFeed(*state);
    const HANDLE events[] = {state->stop.Get(), state->work.Get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, kPollMs);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED || state->Cancelled()) break;
        if (woken != WAIT_OBJECT_0 + 1) continue;
        if (Entry* entry = NextFile(*state)) Verify(*state, entry);
    }
    state->Release();
    return 0;
}

}  // namespace

void SignatureFeed::Submit(const wchar_t* path) { SubmitTo(*state_, path); }

SignaturePool::SignaturePool(const TrustFunctions& functions, unsigned threads, bool (*cancelled)(),
                             void (*feed)(SignatureFeed& feed))
    : state_(new SignaturePoolState(functions, cancelled, feed))
{
    if (!state_->stop || !state_->work || !state_->finished) return;
    if (threads > kMostThreads) threads = kMostThreads;
    for (unsigned i = 0; i < threads; ++i) {
        InterlockedIncrement(&state_->references);
        ScopedKernelHandle thread(CreateThread(nullptr, 0, &VerifierThread, state_, 0, nullptr));
        if (!thread) {
            InterlockedDecrement(&state_->references);
            break;
        }
        state_->threads.push_back(std::move(thread));
    }
}

SignaturePool::~SignaturePool()
{
    {
        Locked locked(state_->lock);
        state_->ending = true;
        for (Entry* entry : state_->queue) entry->state = EntryState::Unusable;
        state_->queue.clear();
    }
    if (state_->stop) SetEvent(state_->stop.Get());
    std::vector<HANDLE> threads;
    for (const ScopedKernelHandle& thread : state_->threads) threads.push_back(thread.Get());
    if (!threads.empty()) {
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, kLongestWaitMs);
    }
    state_->Release();
}

void SignaturePool::Submit(const wchar_t* path) { SubmitTo(*state_, path); }

bool SignaturePool::Take(const wchar_t* path, HANDLE file, FileSignature* out)
{
    Identity identity;
    if (path == nullptr || state_->threads.empty() || !ReadIdentity(file, &identity)) return false;
    const std::wstring key = KeyOf(path);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kLongestWaitMs && !state_->Cancelled()) {
        {
            Locked locked(state_->lock);
            auto found = state_->entries.find(key);
            if (found == state_->entries.end()) return false;
            Entry& entry = *found->second;
            switch (entry.state) {
            case EntryState::Queued: entry.state = EntryState::Unusable; return false;
            case EntryState::Unusable: return false;
            case EntryState::Done:
                // The same text too: the verification is handed the path.
                if (entry.path != path || !SameIdentity(entry.identity, identity)) return false;
                *out = entry.signature;
                return true;
            case EntryState::Running: ResetEvent(state_->finished.Get()); break;
            }
        }
        WaitForSingleObject(state_->finished.Get(), kPollMs);
    }
    return false;
}

unsigned SignaturePool::DefaultThreads()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const unsigned processors = info.dwNumberOfProcessors;
    return processors == 0 ? 1 : processors < kMostThreads ? processors : kMostThreads;
}
