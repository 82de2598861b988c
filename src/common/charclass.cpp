// charclass.cpp: the white-space and letter classes of the command line.
// Up to U+00FF the classes are fixed here, so that they do not depend on the
// user's locale; above it the system's character-type table decides.
#include "common/charclass.h"

// The CT_CTYPE1 bits of a character above U+00FF; 0 when the system
// cannot say. U+FFFF is not a character and belongs to no class.
static WORD SystemCharType(WCHAR ch) {
    WORD type = 0;
    if (ch == 0xFFFF) {
        return 0;
    }
    if (!GetStringTypeW(CT_CTYPE1, &ch, 1, &type)) {
        return 0;
    }
    return type;
}

int IsWhiteSpace(WCHAR ch) {
    if (ch <= 0xFF) {
        return (ch >= 0x09 && ch <= 0x0D) || ch == 0x20 || ch == 0xA0;
    }
    return (SystemCharType(ch) & C1_SPACE) != 0;
}

int IsLetter(WCHAR ch) {
    if (ch <= 0xFF) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= 0xC0 && ch <= 0xD6) ||
               (ch >= 0xD8 && ch <= 0xF6) || ch >= 0xF8;
    }
    return (SystemCharType(ch) & (C1_ALPHA | C1_UPPER | C1_LOWER)) != 0;
}
