// The system's character string: one pointer to a reference-counted block of 8-bit characters
// (ANSI code page), shared between copies and copied when one of them is written.
//
// Block: reserved word, length, capacity (bytes for characters, the NUL included), reference
// count, then the characters, always NUL-terminated at length. Blocks come from malloc, not
// from the private heap. Reference counts are not atomic: a block and the strings sharing it
// stay on one thread at a time; a string given to another thread is handed over.
//
// A failed allocation leaves the string as it was; a constructor that cannot allocate gives
// the empty string. Capacities follow the exact rules below (no spare growth): every append
// reallocates the block to the new length plus one.
//
// Positions and counts are int; out-of-range values are clipped as each operation says and
// never read outside the text.
#pragma once

#include <cstdint>

class String {
public:
    // Empty, with capacity max(reserve, 16) + 1.
    explicit String(int reserve = 16);
    String(const char* text);             // null gives an empty string of capacity 1
    String(const char* text, int count);  // the first count bytes (embedded NULs kept)
    String(const String& other);          // shares the block
    ~String();

    // Win32 only (foundation_win32): a wide text converted in the given code page, characters
    // that cannot be mapped becoming spaces.
    String(const wchar_t* text, unsigned codePage);

    String& operator=(const String& other);
    String& operator=(const char* text);

    int Length() const;
    int GetCapacity() const;
    const char* CStr() const;
    // The character at index < capacity, in place (the block is not unshared); any other
    // index gives one static spare byte.
    char& operator[](int index);
    // After characters were written directly into the block: NUL in the last byte of the
    // capacity, length = strlen.
    void UpdateLength();

    String operator+(const String& other) const;
    String operator+(const char* text) const;
    friend String operator+(const char* text, const String& s);
    String& operator+=(const String& other);
    String& operator+=(const char* text);
    String& operator+=(char c);
    void PadRight(int n);
    static String Repeat(char c, int count);
    String Mid(int start, int count) const;

    static String FromInt64(int64_t value);
    // Lower-case hex without leading zeros, but at least minDigits digits (16 at most).
    static String FromHex(uint64_t value, int minDigits);
    // Fixed-point text: at least minDecimals decimals, up to minDecimals + extraDecimals
    // with trailing zeros removed.
    static String FromDouble(double value, int minDecimals, int extraDecimals, bool plusSign);
    // value split by the moduli of a picture such as ":060:060" (h:mm:ss); a picture that
    // begins with a digit drops what is left above its first field.
    static String FormatMixedRadix(int64_t value, const char* picture, bool hex);
    static String FromHexBytes(const void* bytes, int count, int group);
    // The text as a hexadecimal or decimal number, 32 bits; 0 when nothing parses.
    int32_t ToLong(bool hex) const;

    bool operator==(const String& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const String& other) const { return !(*this == other); }
    bool operator!=(const char* text) const { return !(*this == text); }
    int Compare(const char* text) const;
    int Compare(const String& other) const;
    bool operator>(const String& o) const;
    bool operator<(const String& o) const;
    bool operator>=(const String& o) const;
    bool operator<=(const String& o) const;
    bool operator>(const char* t) const;
    bool operator<(const char* t) const;
    bool operator>=(const char* t) const;
    bool operator<=(const char* t) const;

    // First position p >= from where the n bytes match; -1 when none.
    int Find(const void* bytes, int n, int from = 0) const;
    int Find(const String& s, int from = 0) const;
    // Last position p <= from where the n bytes match; -1 when none.
    int ReverseFind(const void* bytes, int n, int from) const;
    int FindNoCase(const void* bytes, int n, int from = 0) const;
    int ReverseFindNoCase(const void* bytes, int n, int from) const;
    int FindChar(char c, int from = 0) const;

    // Paths, "\\" the only separator.
    String GetDirectory() const;
    String GetFileName() const;
    String GetExtension() const;
    String RemoveExtension() const;
    // Win32 only (foundation_win32).
    String GetLongPath() const;
    String GetShortPath() const;
    String ConvertCodePage(unsigned from, unsigned to) const;
    int ToWide(wchar_t* destination, int destinationLength, unsigned codePage) const;

    String ToLower() const;
    String ToUpper() const;
    // In place: drops leading and trailing bytes 0..32.
    String Trim();
    void DeleteLeft(int count);
    // The text with every q doubled, enclosed in double quotes.
    String Quote(char q) const;
    // When the text begins with q: the quoted text (a doubled q is one q), removed from this
    // string together with its marks. Otherwise empty, and this string is unchanged.
    String TakeQuoted(char q);
    String Replace(int start, int count, const String& with) const;
    void InsertChar(char c, int index);
    String ReplaceChar(char from, char to) const;

    void SetTag(uint32_t tag);
    uint32_t GetTag() const;

private:
    struct Block {
        uint32_t reserved;
        uint32_t length;
        uint32_t capacity;
        uint32_t refs;
        char* Chars() { return reinterpret_cast<char*>(this + 1); }
    };
    static_assert(sizeof(Block) == 16, "block header is 16 bytes");

    static Block* AllocBlock(const char* text, int length, int capacity);
    static Block* EmptyBlock();
    void ReleaseBlock();
    void Adopt(Block* block);  // release own block, take the new one (null: empty)
    bool MakeWritable(int capacity);
    char* Data() { return m_block->Chars(); }
    const char* Data() const { return m_block->Chars(); }
    bool Owns(const char* p) const;
    String& Append(const char* text, int count);
    static String Concat(const char* a, int n, const char* b, int m, int capacity);

    Block* m_block;
};
