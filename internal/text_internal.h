// text_internal.h - what the character helpers and the streams share: the
// layer's own ASCII character classes, and a byte buffer that grows
// geometrically.
//
// The classes take unsigned bytes and never consult the C library, so the
// host's locale (setlocale) changes nothing and no negative char reaches a
// classification: every byte of 128 or more is an ordinary character.
#ifndef KEEL_TEXT_INTERNAL_H
#define KEEL_TEXT_INTERNAL_H

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace keel {

// The whitespace that String_CollapseSpaces folds: TAB, LF, CR, space.
inline bool is_blank_or_line_end(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The whitespace of logical lines: the above, VT and FF.
inline bool is_space(unsigned char c) { return is_blank_or_line_end(c) || c == '\v' || c == '\f'; }

inline bool is_line_end(unsigned char c) { return c == '\n' || c == '\r'; }

inline unsigned char to_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? (unsigned char)(c - 'A' + 'a') : c; }

// Bytes gathered piece by piece: the first 256 in the object itself, then
// in a heap block that doubles as it fills, so gathering n bytes costs
// O(n) and a short piece no allocation.  Once an allocation has failed the
// buffer stays failed and takes nothing more.  Frees its block when it ends.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ~ByteBuffer()
    {
        if (data_ != inline_)
            free(data_);
    }
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    void append(const char *bytes, size_t n)
    {
        if (failed_ || n == 0)
            return;
        if (n > cap_ - size_ && !grow(n))
            return;
        memcpy(data_ + size_, bytes, n);
        size_ += n;
    }
    const char *data() const { return data_; }
    size_t size() const { return size_; }
    bool failed() const { return failed_; }

private:
    bool grow(size_t n)
    {
        size_t want = cap_;
        while (want - size_ < n && want <= ((size_t)-1) / 2)
            want *= 2;
        char *grown = NULL;
        if (want - size_ >= n)
            grown = static_cast<char *>(data_ == inline_ ? malloc(want) : realloc(data_, want));
        if (!grown) {
            failed_ = true;
            return false;
        }
        if (data_ == inline_)
            memcpy(grown, inline_, size_);
        data_ = grown;
        cap_ = want;
        return true;
    }

    char inline_[256];
    char *data_ = inline_;
    size_t size_ = 0;
    size_t cap_ = sizeof inline_;
    bool failed_ = false;
};

}  // namespace keel

#endif
