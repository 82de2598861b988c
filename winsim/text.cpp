// winsim/text.cpp: the text helpers of sim.h, UTF-8 <-> UTF-16. Malformed
// UTF-8 and lone surrogates become U+FFFD.
#include "winsim/simcore.h"

namespace {

const char32_t REPLACEMENT = 0xFFFD;

void PutUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | (c >> 6));
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | (c >> 12));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else {
        out += (char)(0xF0 | (c >> 18));
        out += (char)(0x80 | ((c >> 12) & 0x3F));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

void PutUtf16(std::u16string &out, char32_t c) {
    if (c < 0x10000) {
        out += (char16_t)c;
    } else {
        c -= 0x10000;
        out += (char16_t)(0xD800 | (c >> 10));
        out += (char16_t)(0xDC00 | (c & 0x3FF));
    }
}

std::string ToUtf8(const char16_t *text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; i++) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = REPLACEMENT;
        }
        PutUtf8(out, c);
    }
    return out;
}

} // namespace

namespace sim {

std::u16string U16(const std::string &utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0, n = utf8.size();
    while (i < n) {
        unsigned char b = (unsigned char)utf8[i];
        int extra = 0;
        char32_t c = 0, minimum = 0;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07, minimum = 0x10000;
        } else {
            out += (char16_t)REPLACEMENT;
            i++;
            continue;
        }
        size_t j = i + 1;
        bool good = true;
        for (int k = 0; k < extra; k++, j++) {
            if (j >= n || ((unsigned char)utf8[j] & 0xC0) != 0x80) {
                good = false;
                break;
            }
            c = (c << 6) | ((unsigned char)utf8[j] & 0x3F);
        }
        if (!good || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // Resume at the first byte that did not belong to the sequence.
            out += (char16_t)REPLACEMENT;
            i = j;
            continue;
        }
        PutUtf16(out, c);
        i = j;
    }
    return out;
}

std::string U8(const std::u16string &utf16) {
    return ToUtf8(utf16.data(), utf16.size());
}

std::string U8(const WCHAR *utf16) {
    if (utf16 == nullptr) {
        return std::string();
    }
    return ToUtf8(utf16, winsim::Length(utf16));
}

} // namespace sim
