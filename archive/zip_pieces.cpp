#include "archive/zip_pieces.h"

#include "archive/zip_writer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#define ZLIB_CONST  // next_in points at const data
#include <zlib.h>

namespace {

bool GrowOutput(Piece* piece, size_t capacity)
{
    if (piece->outputCapacity >= capacity) return true;
    unsigned char* grown = static_cast<unsigned char*>(realloc(piece->output, capacity));
    if (grown == nullptr) return false;
    piece->output = grown;
    piece->outputCapacity = capacity;
    return true;
}

// Runs deflate until the piece's data is consumed and it ends on a byte
// boundary (sync flush) or, for an entry's last piece, the stream ends.
int DeflatePiece(Piece* piece, z_stream* stream)
{
    const int flush = piece->last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        if (piece->outputLength == piece->outputCapacity && !GrowOutput(piece, 2 * piece->outputCapacity)) {
            return ZIP_INTERNALERROR;
        }
        size_t room = piece->outputCapacity - piece->outputLength;
        stream->next_out = piece->output + piece->outputLength;
        stream->avail_out = room > 0x40000000u ? 0x40000000u : static_cast<uInt>(room);
        const uInt offered = stream->avail_out;
        int rc = deflate(stream, flush);
        piece->outputLength += offered - stream->avail_out;
        if (rc == Z_STREAM_END) return ZIP_OK;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return ZIP_INTERNALERROR;
        if (!piece->last && stream->avail_in == 0 && stream->avail_out > 0) return ZIP_OK;
        if (rc == Z_BUF_ERROR && stream->avail_out > 0) return ZIP_INTERNALERROR;  // no progress with room
    }
}

// A fresh stream per piece: its output then depends on the piece alone,
// never on which thread deflated what before.
void CompressPiece(Piece* piece)
{
    piece->outputLength = 0;
    piece->result = ZIP_OK;
    if (piece->discard) return;
    const unsigned char* data = piece->input + piece->dictionaryLength;
    piece->crc = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, piece->dataLength));
    if (piece->method != Z_DEFLATED) return;

    z_stream stream;
    memset(&stream, 0, sizeof stream);
    // Negative window bits: raw deflate, the zip entry carries no zlib wrapper.
    if (deflateInit2(&stream, piece->level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        piece->result = ZIP_INTERNALERROR;
        return;
    }
    if (piece->dictionaryLength > 0 && deflateSetDictionary(&stream, piece->input, piece->dictionaryLength) != Z_OK) {
        piece->result = ZIP_INTERNALERROR;
    } else if (!GrowOutput(piece, deflateBound(&stream, piece->dataLength) + 64)) {
        piece->result = ZIP_INTERNALERROR;
    } else {
        stream.next_in = data;
        stream.avail_in = piece->dataLength;
        piece->result = DeflatePiece(piece, &stream);
    }
    deflateEnd(&stream);
}

// Holds the ring's lock for a scope.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~Locked() { LeaveCriticalSection(lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION* lock_;
};

}  // namespace

const unsigned char* PieceOutput(const Piece* piece)
{
    return piece->method == Z_DEFLATED ? piece->output : piece->input + piece->dictionaryLength;
}

size_t PieceOutputLength(const Piece* piece)
{
    return piece->method == Z_DEFLATED ? piece->outputLength : piece->dataLength;
}

PieceRing::~PieceRing()
{
    Stop();
    if (pieces_ == nullptr) return;
    for (unsigned i = 0; i < count_; ++i) {
        free(pieces_[i].input);
        free(pieces_[i].output);
    }
    delete[] pieces_;
}

bool PieceRing::Start(unsigned compressors)
{
    if (compressors > kMostZipCompressors) compressors = kMostZipCompressors;
    count_ = compressors == 0 ? 2 : 3 * compressors + 2;
    pieces_ = new (std::nothrow) Piece[count_]();
    if (pieces_ == nullptr) return false;
    for (unsigned i = 0; i < count_; ++i) {
        pieces_[i].input = static_cast<unsigned char*>(malloc(kZipWindowSize + kZipPieceSize));
        if (pieces_[i].input == nullptr) return false;
    }
    if (compressors == 0) return true;

    InitializeCriticalSection(&lock_);
    lockReady_ = true;
    workReady_ = CreateSemaphoreW(nullptr, 0, kMostZipCompressors, nullptr);
    pieceDone_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (workReady_ != nullptr && pieceDone_ != nullptr) {
        for (unsigned i = 0; i < compressors; ++i) {
            DWORD id = 0;
            HANDLE thread = CreateThread(nullptr, 0, &PieceRing::CompressorMain, this, 0, &id);
            if (thread == nullptr) break;
            threads_[compressors_++] = thread;
        }
    }
    // Without a thread the pieces are deflated here: slower, never wrong.
    if (compressors_ == 0) Stop();
    return true;
}

DWORD WINAPI PieceRing::CompressorMain(LPVOID parameter)
{
    static_cast<PieceRing*>(parameter)->RunCompressor();
    return 0;
}

void PieceRing::RunCompressor()
{
    EnterCriticalSection(&lock_);
    while (!stopping_) {
        Piece* piece = &pieces_[take_ % count_];
        if (piece->state == PieceState::Queued) {
            piece->state = PieceState::Working;
            ++take_;
            LeaveCriticalSection(&lock_);
            CompressPiece(piece);
            EnterCriticalSection(&lock_);
            piece->state = PieceState::Done;
            if (writerWaiting_) {
                writerWaiting_ = false;
                SetEvent(pieceDone_);
            }
            continue;
        }
        ++idle_;
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(workReady_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    LeaveCriticalSection(&lock_);
}

Piece* PieceRing::Acquire(unsigned method, int level)
{
    Piece* piece = &pieces_[tail_ % count_];
    ++tail_;
    piece->dictionaryLength = 0;
    piece->dataLength = 0;
    piece->last = false;
    piece->discard = false;
    piece->method = method;
    piece->level = level;
    SetState(piece, PieceState::Filling);
    return piece;
}

void PieceRing::Queue(Piece* piece)
{
    if (compressors_ == 0) {
        CompressPiece(piece);
        piece->state = PieceState::Done;
        return;
    }
    bool wake = false;
    {
        Locked locked(&lock_);
        piece->state = PieceState::Queued;
        wake = idle_ > 0;
        if (wake) --idle_;
    }
    if (wake) ReleaseSemaphore(workReady_, 1, nullptr);
}

PieceState PieceRing::StateOf(const Piece* piece)
{
    if (compressors_ == 0) return piece->state;
    Locked locked(&lock_);
    return piece->state;
}

void PieceRing::SetState(Piece* piece, PieceState state)
{
    if (compressors_ == 0) {
        piece->state = state;
        return;
    }
    Locked locked(&lock_);
    piece->state = state;
}

void PieceRing::WaitUntilDone(const Piece* piece)
{
    if (compressors_ == 0) return;  // queued pieces are done at once
    EnterCriticalSection(&lock_);
    while (piece->state != PieceState::Done) {
        writerWaiting_ = true;
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(pieceDone_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    LeaveCriticalSection(&lock_);
}

void PieceRing::ReleaseOldest()
{
    SetState(Oldest(), PieceState::Free);
    ++head_;
}

void PieceRing::Stop()
{
    if (!lockReady_) return;
    if (compressors_ > 0) {
        LONG sleeping = 0;
        {
            Locked locked(&lock_);
            stopping_ = true;
            sleeping = static_cast<LONG>(idle_);
            idle_ = 0;
        }
        // Threads busy with a piece see the flag when they come back for the next.
        if (sleeping > 0) ReleaseSemaphore(workReady_, sleeping, nullptr);
        for (unsigned i = 0; i < compressors_; ++i) {
            WaitForSingleObject(threads_[i], INFINITE);
            CloseHandle(threads_[i]);
        }
        compressors_ = 0;
    }
    if (workReady_ != nullptr) CloseHandle(workReady_);
    if (pieceDone_ != nullptr) CloseHandle(pieceDone_);
    workReady_ = nullptr;
    pieceDone_ = nullptr;
    DeleteCriticalSection(&lock_);
    lockReady_ = false;
}
