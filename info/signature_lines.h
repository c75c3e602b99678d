// The signature line of file entries ("Signature: Valid (Signer)" and the
// rest): which entries carry it, and the check behind it, made once per file
// while the checksum cache lives. Used on the collection worker thread only.
#pragma once
#include "info/file_signature.h"
#include "info/signature_pool.h"

#include <cstddef>
#include <memory>

struct FileStamp;

// While one lives, every file entry written (WriteFileEntry and the helpers
// built on it) carries the signature line after its version lines. The pages
// that name programs which start or run open one for their whole writing:
// one line at the top of a page's writer turns the line on for that page.
class SignatureLinesScope {
public:
    SignatureLinesScope();
    ~SignatureLinesScope();
    SignatureLinesScope(const SignatureLinesScope&) = delete;
    SignatureLinesScope& operator=(const SignatureLinesScope&) = delete;
};

// While one lives, the checks also run ahead of the pages on a pool of
// threads (`threads`; none while the checks are off): a page that knows its
// files names them with VerifySignatureAhead before it writes their entries,
// and `feed` (may be null) names the first ones from one of the pool's
// threads. The entries read the same as without it. A cancel of the run
// stops the pool from starting further files.
class SignaturesAheadScope {
public:
    explicit SignaturesAheadScope(void (*feed)(SignatureFeed& feed) = nullptr,
                                  unsigned threads = SignaturePool::DefaultThreads());
    ~SignaturesAheadScope();
    SignaturesAheadScope(const SignaturesAheadScope&) = delete;
    SignaturesAheadScope& operator=(const SignaturesAheadScope&) = delete;

private:
    std::unique_ptr<SignaturePool> pool_;  // null in a scope within another
};

// Queues the file at `path` for the pool, if one lives: from the page's
// thread, or from the pool's feed.
void VerifySignatureAhead(const char* path);
void VerifySignatureAhead(SignatureFeed& feed, const char* path);

// Seams: the functions the checks call (null: the system's), and the checks
// switched off altogether, entries then without the line (the benchmark's
// run without them).
void UseTrustFunctions(const TrustFunctions* functions);
void SetSignatureChecksEnabled(bool enabled);
bool SignatureChecksEnabled();

// The signature of the file at `path` as the calling thread sees it: its
// WOW64 redirection state picks the file, as it does for the rest of the
// entry. A file that cannot be opened is NotAvailable. `stamp` (may be null)
// is the file's size and write time for the checksum cache; a file that
// changed while it was checked is not kept there.
void CheckFileSignature(const char* path, const FileStamp* stamp, FileSignature* out);

// "Signature: ...<BR>\n" for the entry of `path`, noted in the run's
// journal; empty while no scope lives, with the checks off, or for a folder.
constexpr size_t kSignatureLineSize = kSignatureTextSize + 32;
void FormatSignatureLine(const char* path, const FileStamp* stamp, char* line, size_t capacity);
