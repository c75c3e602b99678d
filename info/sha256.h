// SHA-256 of files through the system's cryptographic provider (the AES
// provider of Windows XP SP3 and later, looked up at run time: older Windows
// have none, and the digest is then simply not there).
#pragma once
#include "platform/win.h"

#include <wincrypt.h>

#include <cstddef>

class Sha256Files {
public:
    Sha256Files();
    ~Sha256Files();
    Sha256Files(const Sha256Files&) = delete;
    Sha256Files& operator=(const Sha256Files&) = delete;

    // Whether the provider could be opened.
    bool Available() const { return provider_ != 0; }
    // The digest in lower-case hex (64 characters and a zero byte). False,
    // and `hex` empty, when the provider or the file cannot be used.
    bool HashFile(const char* path, char (&hex)[65]) const;

private:
    HCRYPTPROV provider_;
};
