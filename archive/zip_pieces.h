// The zip writer's pieces of entry data and the threads that deflate them.
// Internal to archive/: the writer acquires a piece, fills it, queues it and
// writes it out once it is done, always in the order the pieces were
// acquired; compressor threads take queued pieces in that same order.
#pragma once
#include "platform/win.h"

#include <cstddef>
#include <cstdint>

constexpr unsigned kZipWindowSize = 32 * 1024;  // how far deflate reaches back
constexpr unsigned kMostZipCompressors = 8;

enum class PieceState { Free, Filling, Queued, Working, Done };

struct Piece {
    unsigned char* input;          // the dictionary, then the data
    unsigned dictionaryLength;     // the 32 KiB before the data, for every piece but an entry's first
    unsigned dataLength;
    bool last;                     // ends its entry's data
    bool discard;                  // its entry failed: nothing to deflate or write
    unsigned method;               // 8 deflate, 0 stored
    int level;
    unsigned char* output;         // deflated data (stored data is written from input)
    size_t outputCapacity;
    size_t outputLength;
    uint32_t crc;                  // of this piece's data alone
    int result;                    // ZIP_OK or the failure met while deflating
    PieceState state;              // with threads: read and written under the ring's lock
};

// The bytes to write out for a done piece.
const unsigned char* PieceOutput(const Piece* piece);
size_t PieceOutputLength(const Piece* piece);

// A ring of piece slots with the threads that deflate queued pieces; without
// threads a queued piece is deflated at once on the calling thread. All
// calls come from one writer thread.
class PieceRing {
public:
    PieceRing() = default;
    ~PieceRing();
    PieceRing(const PieceRing&) = delete;
    PieceRing& operator=(const PieceRing&) = delete;

    // Allocates the slots (a few per thread, so every thread keeps busy
    // while the oldest piece waits to be written) and starts up to
    // `compressors` threads. False without memory.
    bool Start(unsigned compressors);
    unsigned Slots() const { return count_; }
    bool Empty() const { return head_ == tail_; }
    bool Full() const { return tail_ - head_ == count_; }

    // The oldest piece in flight; only when not Empty().
    Piece* Oldest() { return &pieces_[head_ % count_]; }
    // The next slot, cleared for filling; only when not Full().
    Piece* Acquire(unsigned method, int level);
    // Hands a filled piece to the threads (or deflates it now).
    void Queue(Piece* piece);
    PieceState StateOf(const Piece* piece);
    void WaitUntilDone(const Piece* piece);
    // Frees the oldest piece once it is written out.
    void ReleaseOldest();
    // Ends the threads; every queued piece must be done.
    void Stop();

private:
    static DWORD WINAPI CompressorMain(LPVOID parameter);
    void RunCompressor();
    void SetState(Piece* piece, PieceState state);

    Piece* pieces_ = nullptr;
    unsigned count_ = 0;
    unsigned head_ = 0;              // sequence numbers; slot = number % count_
    unsigned take_ = 0;              // the next one for a thread
    unsigned tail_ = 0;              // the next one to acquire

    unsigned compressors_ = 0;       // 0: deflate on the calling thread
    HANDLE threads_[kMostZipCompressors] = {};
    CRITICAL_SECTION lock_;
    bool lockReady_ = false;
    HANDLE workReady_ = nullptr;     // semaphore: one count per idle thread woken
    HANDLE pieceDone_ = nullptr;     // auto-reset: a piece the writer waits for may be done
    unsigned idle_ = 0;
    bool writerWaiting_ = false;
    bool stopping_ = false;
};
