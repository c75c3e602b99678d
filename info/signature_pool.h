// Signature checks made ahead of the page that shows them, on a few threads
// of their own: a verification mostly hashes the file for the catalogs, and
// the pages that name many files know them before they write the first
// entry. The page writer asks for the file it writes and gets the verdict
// it would have computed itself. Shared by the collector and the 64-bit
// process lister; wide text, nothing of the collector's state.
#pragma once
#include "info/file_signature.h"

struct SignaturePoolState;

// What a feed function is handed: queues files as SignaturePool::Submit
// does, and stays usable for as long as the feed runs.
class SignatureFeed {
public:
    explicit SignatureFeed(SignaturePoolState* state) : state_(state) {}
    void Submit(const wchar_t* path);

private:
    SignaturePoolState* state_;
};

class SignaturePool {
public:
    // Starts `threads` verifier threads (none: every Take says no).
    // `cancelled` (may be null) is asked before each file and while waiting;
    // once it says yes, no further file is started. `feed` (may be null) runs
    // first on one of the threads and may submit files (the run's first look
    // at what it will check).
    SignaturePool(const TrustFunctions& functions, unsigned threads, bool (*cancelled)(),
                  void (*feed)(SignatureFeed& feed) = nullptr);
    // Drops what is still queued and waits for the threads, each ending the
    // file it is verifying. The wait is bounded: a thread still busy past
    // it finishes on its own and frees what it holds.
    ~SignaturePool();
    SignaturePool(const SignaturePool&) = delete;
    SignaturePool& operator=(const SignaturePool&) = delete;

    // Queues the file for a verifier thread. A path already queued or
    // checked, a full queue and a pool that is ending leave it out.
    void Submit(const wchar_t* path);

    // The pool's verdict for the file open in `file` as `path`: true, with
    // `out` filled, when a verifier checked the same file (path, volume, file
    // id, size and write time) and it did not change meanwhile; a file under
    // way is waited for (bounded, cancellable). False otherwise, and a file
    // still queued is taken back: the caller verifies it itself.
    bool Take(const wchar_t* path, HANDLE file, FileSignature* out);

    // The processors of this machine, at most four.
    static unsigned DefaultThreads();

private:
    SignaturePoolState* state_;
};
