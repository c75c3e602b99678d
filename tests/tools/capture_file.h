// Collects what a writer function prints to a FILE*, byte for byte.
#pragma once
#include "tests/support/test_support.h"

#include <cstdio>
#include <string>

namespace tools_test {

class CaptureFile {
public:
    CaptureFile() : scratch_("tools-capture")
    {
        file_ = fopen(scratch_.Join("capture.txt").c_str(), "w+b");
    }
    ~CaptureFile()
    {
        if (file_ != nullptr) fclose(file_);
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    FILE* File() const { return file_; }

    // Everything written so far.
    std::string Text() const
    {
        std::string text;
        if (file_ == nullptr) return text;
        fflush(file_);
        long end = ftell(file_);
        rewind(file_);
        text.resize(end > 0 ? static_cast<size_t>(end) : 0);
        size_t got = fread(&text[0], 1, text.size(), file_);
        text.resize(got);
        fseek(file_, 0, SEEK_END);
        return text;
    }

private:
    testing_support::ScratchFolder scratch_;
    FILE* file_;
};

}  // namespace tools_test
