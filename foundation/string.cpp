#include "foundation/string.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The one static empty text. Its count is never changed and it is never freed, so it can
// stand in for any string whose allocation failed; writing to it always unshares first.
struct StaticEmpty {
    uint32_t reserved, length, capacity, refs;
    char text[4];
};
StaticEmpty g_empty = {0, 0, 1, 1, {0, 0, 0, 0}};
char g_spare;

int Clip(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

String::Block* String::EmptyBlock() { return reinterpret_cast<Block*>(&g_empty); }

String::Block* String::AllocBlock(const char* text, int length, int capacity) {
    if (length < 0) length = 0;
    uint32_t cap = capacity > length ? static_cast<uint32_t>(capacity) : static_cast<uint32_t>(length) + 1;
    Block* b = static_cast<Block*>(std::malloc(sizeof(Block) + cap));
    if (!b) return nullptr;
    b->reserved = 0;
    b->length = static_cast<uint32_t>(length);
    b->capacity = cap;
    b->refs = 1;
    if (text && length) std::memcpy(b->Chars(), text, static_cast<size_t>(length));
    b->Chars()[length] = 0;
    return b;
}

void String::ReleaseBlock() {
    if (m_block == EmptyBlock()) return;
    if (--m_block->refs == 0) std::free(m_block);
}

void String::Adopt(Block* block) {
    ReleaseBlock();
    m_block = block ? block : EmptyBlock();
}

// Unshares the block and makes room for capacity bytes. Returns false, changing nothing,
// when the memory cannot be had.
bool String::MakeWritable(int capacity) {
    if (capacity < 0) return false;
    int length = Length();
    if (m_block == EmptyBlock() || m_block->refs != 1) {
        Block* b = AllocBlock(Data(), length, capacity);
        if (!b) return false;
        Adopt(b);
        return true;
    }
    if (capacity > length + 1) {
        Block* b = static_cast<Block*>(std::realloc(m_block, sizeof(Block) + static_cast<size_t>(capacity)));
        if (!b) return false;
        m_block = b;
        m_block->capacity = static_cast<uint32_t>(capacity);
        std::memset(Data() + length, 0, static_cast<size_t>(capacity - length));
    }
    return true;
}

bool String::Owns(const char* p) const {
    const char* d = Data();
    return p >= d && p < d + m_block->capacity;
}

String::String(int reserve) {
    if (reserve > INT_MAX - 1) reserve = INT_MAX - 1;
    m_block = AllocBlock(nullptr, 0, (reserve > 16 ? reserve : 16) + 1);
    if (!m_block) m_block = EmptyBlock();
}

String::String(const char* text) {
    m_block = AllocBlock(text, text ? static_cast<int>(std::strlen(text)) : 0, 0);
    if (!m_block) m_block = EmptyBlock();
}

String::String(const char* text, int count) {
    m_block = AllocBlock(text, text ? (count > 0 ? count : 0) : 0, 0);
    if (!m_block) m_block = EmptyBlock();
}

String::String(const String& other) : m_block(other.m_block) {
    if (m_block != EmptyBlock()) ++m_block->refs;
}

String::~String() { ReleaseBlock(); }

String& String::operator=(const String& other) {
    if (&other == this) return *this;
    Block* b = other.m_block;
    if (b != EmptyBlock()) ++b->refs;
    Adopt(b);
    return *this;
}

String& String::operator=(const char* text) {
    // The new block is made before the old is released: the text may be our own.
    Block* b = AllocBlock(text, text ? static_cast<int>(std::strlen(text)) : 0, 0);
    if (b) Adopt(b);
    return *this;
}

int String::Length() const { return static_cast<int>(m_block->length); }
int String::GetCapacity() const { return static_cast<int>(m_block->capacity); }
const char* String::CStr() const { return Data(); }

char& String::operator[](int index) {
    if (m_block == EmptyBlock() || index < 0 || static_cast<uint32_t>(index) >= m_block->capacity) return g_spare;
    return Data()[index];
}

void String::UpdateLength() {
    if (m_block == EmptyBlock()) return;
    Data()[m_block->capacity - 1] = 0;
    m_block->length = static_cast<uint32_t>(std::strlen(Data()));
}

// Appends count bytes. A source inside our own block is copied aside first, because making
// room may move or free the block it lives in.
String& String::Append(const char* text, int count) {
    if (!text || count <= 0) return *this;
    if (Owns(text)) {
        String copy(text, count);
        if (copy.Length() != count) return *this;
        return Append(copy.CStr(), count);
    }
    int length = Length();
    if (count > INT_MAX - length - 1) return *this;
    if (!MakeWritable(length + count + 1)) return *this;
    std::memcpy(Data() + length, text, static_cast<size_t>(count));
    Data()[length + count] = 0;
    m_block->length = static_cast<uint32_t>(length + count);
    return *this;
}

String String::Concat(const char* a, int n, const char* b, int m, int capacity) {
    String r(0);
    if (n > INT_MAX - m - 1) return r;
    Block* block = AllocBlock(a, n, capacity);
    if (!block) return r;
    if (b && m) std::memcpy(block->Chars() + n, b, static_cast<size_t>(m));
    block->Chars()[n + m] = 0;
    block->length = static_cast<uint32_t>(n + m);
    r.Adopt(block);
    return r;
}

String String::operator+(const String& other) const { return *this + other.CStr(); }

String String::operator+(const char* text) const {
    int n = text ? static_cast<int>(std::strlen(text)) : 0;
    return Concat(CStr(), Length(), text, n, Length() + n + 1);
}

String operator+(const char* text, const String& s) {
    int n = text ? static_cast<int>(std::strlen(text)) : 0;
    int cap = n + s.Length() + 1;
    return String::Concat(text, n, s.CStr(), s.Length(), cap < 17 ? 17 : cap);
}

String& String::operator+=(const String& other) {
    if (other.m_block == m_block) {
        String keep(other);  // a shared (or our own) block stays alive while we append
        return Append(keep.CStr(), keep.Length());
    }
    return Append(other.CStr(), other.Length());
}

String& String::operator+=(const char* text) { return Append(text, text ? static_cast<int>(std::strlen(text)) : 0); }

String& String::operator+=(char c) {
    int length = Length();
    if (length > INT_MAX - 2 || !MakeWritable(length + 2)) return *this;
    Data()[length] = c;
    Data()[length + 1] = 0;
    m_block->length = static_cast<uint32_t>(length + 1);
    return *this;
}

void String::PadRight(int n) {
    int length = Length();
    // n + 1 must still be a capacity: a larger n would pad past the block.
    if (length >= n || n > INT_MAX - 1 || !MakeWritable(n + 1)) return;
    std::memset(Data() + length, ' ', static_cast<size_t>(n - length));
    Data()[n] = 0;
    m_block->length = static_cast<uint32_t>(n);
}

String String::Repeat(char c, int count) {
    String r(count);
    r.PadRight(count);  // spaces first, then the character
    if (r.Length() == count && count > 0 && r.MakeWritable(0)) std::memset(r.Data(), c, static_cast<size_t>(count));
    return r;
}

String String::Mid(int start, int count) const {
    int length = Length();
    if (start < 0) start = 0;
    if (start >= length || count <= 0) return String(0);
    if (count > length - start) count = length - start;
    return String(Data() + start, count);
}

String String::FromInt64(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return String(text);
}

String String::FromHex(uint64_t value, int minDigits) {
    String r(17);
    for (int k = 16; k >= 1; --k) {
        unsigned nibble = static_cast<unsigned>(value >> ((k - 1) * 4)) & 0xF;
        if (minDigits < k) {
            if (nibble == 0) continue;
            minDigits = k;
        }
        r += "0123456789abcdef"[nibble];
    }
    if (r.Length() == 0) r += '0';
    return r;
}

String String::FromDouble(double value, int minDecimals, int extraDecimals, bool plusSign) {
    if (minDecimals < 0) minDecimals = 0;
    if (extraDecimals < 0) extraDecimals = 0;
    int decimals = minDecimals + extraDecimals;
    if (decimals > 40) decimals = 40;
    // Digits and point position as _fcvt gives them: the rounded value's digits without
    // leading zeros, point = digits before the point (negative when zeros follow it).
    char fixed[400];
    std::snprintf(fixed, sizeof fixed, "%.*f", decimals, std::fabs(value));
    char digits[400];
    int n = 0, point = 0;
    const char* p = fixed;
    while (*p == '0' && p[1] != '.' && p[1] != 0) ++p;
    if (*p == '0') {  // integer part zero: the point lies before the first non-zero digit
        p += (p[1] == '.') ? 2 : 1;
        while (*p == '0') {
            --point;
            ++p;
        }
        if (*p == 0) point = 0;
    } else {
        while (*p && *p != '.') {
            digits[n++] = *p++;
            ++point;
        }
        if (*p == '.') ++p;
    }
    while (*p) digits[n++] = *p++;
    digits[n] = 0;

    String r(0);
    if (value < 0)
        r += '-';
    else if (plusSign)
        r += '+';
    if (point < 1)
        r += '0';
    else
        r.Append(digits, point);
    r += '.';
    for (int i = point; i < 0; ++i) r += '0';
    const char* fraction = digits + (point > 0 ? point : 0);
    int fractionDigits = static_cast<int>(std::strlen(fraction));
    int shown = (point < 0 ? -point : 0) + fractionDigits;
    while (shown > minDecimals && fractionDigits > 0 && fraction[fractionDigits - 1] == '0') {
        --fractionDigits;
        --shown;
    }
    r.Append(fraction, fractionDigits);
    for (; shown < minDecimals; ++shown) r += '0';
    if (r.Length() && r.CStr()[r.Length() - 1] == '.') r = r.Mid(0, r.Length() - 1);
    return r;
}

String String::FormatMixedRadix(int64_t value, const char* picture, bool hex) {
    String r(0);
    if (!picture) return r;
    int end = static_cast<int>(std::strlen(picture));
    while (end > 0 || value) {
        int e = end;
        while (end > 0 && !std::isdigit(static_cast<unsigned char>(picture[end - 1]))) --end;
        r = String(picture + end, e - end) + r;
        e = end;
        while (end > 0 && std::isdigit(static_cast<unsigned char>(picture[end - 1]))) --end;
        String run(picture + end, e - end);
        int64_t modulus = static_cast<uint32_t>(run.ToLong(hex));
        if (modulus == 0) break;
        int64_t field = value % modulus;
        String text = hex ? FromHex(static_cast<uint64_t>(field), 0) : FromInt64(field);
        if (run.Length() && run.CStr()[0] == '0') {
            int width = run.Length() - 1;
            if (text.Length() < width) text = Repeat('0', width - text.Length()) + text;
        }
        r = text + r;
        value /= modulus;
        if (value == 0) break;
    }
    if (value > 0 && !std::isdigit(static_cast<unsigned char>(picture[0])))
        r = (hex ? FromHex(static_cast<uint64_t>(value), 0) : FromInt64(value)) + r;
    return r;
}

String String::FromHexBytes(const void* bytes, int count, int group) {
    String r(count * 3);
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    for (int i = 0; b && i < count; ++i) {
        r += "0123456789abcdef"[b[i] >> 4];
        r += "0123456789abcdef"[b[i] & 15];
        if (group && (i + 1) % group == 0) r += ' ';
    }
    return r;
}

// 32 bits in both builds: a value is parsed wide and keeps its low 32 bits, as the DLL's
// 32-bit long would.
int32_t String::ToLong(bool hex) const {
    unsigned long long u = 0;
    long long s = 0;
    if (hex) {
        if (std::sscanf(CStr(), "%llx", &u) != 1) return 0;
        return static_cast<int32_t>(static_cast<uint32_t>(u));
    }
    if (std::sscanf(CStr(), "%lld", &s) != 1) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(s));
}

bool String::operator==(const String& other) const { return std::strcmp(CStr(), other.CStr()) == 0; }
bool String::operator==(const char* text) const { return std::strcmp(CStr(), text ? text : "") == 0; }
int String::Compare(const char* text) const { return std::strcmp(CStr(), text ? text : ""); }
int String::Compare(const String& other) const { return std::strcmp(CStr(), other.CStr()); }
bool String::operator>(const String& o) const { return Compare(o) > 0; }
bool String::operator<(const String& o) const { return Compare(o) < 0; }
bool String::operator>=(const String& o) const { return Compare(o) >= 0; }
bool String::operator<=(const String& o) const { return Compare(o) <= 0; }
bool String::operator>(const char* t) const { return Compare(t) > 0; }
bool String::operator<(const char* t) const { return Compare(t) < 0; }
bool String::operator>=(const char* t) const { return Compare(t) >= 0; }
bool String::operator<=(const char* t) const { return Compare(t) <= 0; }

namespace {
bool EqualNoCase(const char* a, const char* b, int n) {
    for (int i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
bool EqualBytes(const char* a, const char* b, int n) { return std::memcmp(a, b, static_cast<size_t>(n)) == 0; }

int FindForward(const char* text, int length, const char* pattern, int n, int from,
                bool (*equal)(const char*, const char*, int)) {
    if (!pattern || n < 0 || n > length) return -1;
    if (from < 0) from = 0;
    for (int p = from; p <= length - n; ++p)
        if (equal(text + p, pattern, n)) return p;
    return -1;
}
int FindBackward(const char* text, int length, const char* pattern, int n, int from,
                 bool (*equal)(const char*, const char*, int)) {
    if (!pattern || n < 0 || n > length) return -1;
    if (from > length - n) from = length - n;
    for (int p = from; p >= 0; --p)
        if (equal(text + p, pattern, n)) return p;
    return -1;
}
}  // namespace

int String::Find(const void* bytes, int n, int from) const {
    return FindForward(CStr(), Length(), static_cast<const char*>(bytes), n, from, EqualBytes);
}
int String::Find(const String& s, int from) const { return Find(s.CStr(), s.Length(), from); }
int String::ReverseFind(const void* bytes, int n, int from) const {
    return FindBackward(CStr(), Length(), static_cast<const char*>(bytes), n, from, EqualBytes);
}
int String::FindNoCase(const void* bytes, int n, int from) const {
    return FindForward(CStr(), Length(), static_cast<const char*>(bytes), n, from, EqualNoCase);
}
int String::ReverseFindNoCase(const void* bytes, int n, int from) const {
    return FindBackward(CStr(), Length(), static_cast<const char*>(bytes), n, from, EqualNoCase);
}
int String::FindChar(char c, int from) const { return Find(&c, 1, from); }

String String::GetDirectory() const {
    int p = ReverseFind("\\", 1, Length());
    return p < 0 ? String(0) : Mid(0, p);
}
String String::GetFileName() const {
    int p = ReverseFind("\\", 1, Length());
    return p < 0 ? *this : Mid(p + 1, Length());
}
String String::GetExtension() const {
    int p = ReverseFind(".", 1, Length());
    return p < 0 ? String(0) : Mid(p + 1, Length());
}
String String::RemoveExtension() const {
    for (int i = Length() - 1; i >= 0; --i) {
        if (Data()[i] == '\\') break;
        if (Data()[i] == '.') return Mid(0, i);
    }
    return *this;
}

String String::ToLower() const {
    String r(*this);
    if (!r.MakeWritable(0)) return r;
    for (int i = 0; i < r.Length(); ++i)
        r.Data()[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(r.Data()[i])));
    return r;
}
String String::ToUpper() const {
    String r(*this);
    if (!r.MakeWritable(0)) return r;
    for (int i = 0; i < r.Length(); ++i)
        r.Data()[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(r.Data()[i])));
    return r;
}

// Blanks are the control characters and the space; bytes above 0x7F are letters of the code
// page and stay.
String String::Trim() {
    const unsigned char* d = reinterpret_cast<const unsigned char*>(CStr());
    int first = 0, last = Length();
    while (first < last && d[first] <= 32) ++first;
    while (last > first && d[last - 1] <= 32) --last;
    if (first == 0 && last == Length()) return *this;
    String trimmed(CStr() + first, last - first);
    if (trimmed.Length() == last - first) *this = trimmed;
    return *this;
}

void String::DeleteLeft(int count) {
    if (count <= 0 || !MakeWritable(0)) return;
    int length = Length();
    if (count > length) count = length;
    std::memmove(Data(), Data() + count, static_cast<size_t>(length - count + 1));
    m_block->length = static_cast<uint32_t>(length - count);
}

String String::Quote(char q) const {
    String r(Length() + 3);
    r += '"';
    for (int i = 0; i < Length(); ++i) {
        if (Data()[i] == q) r += q;
        r += Data()[i];
    }
    r += '"';
    return r;
}

String String::TakeQuoted(char q) {
    String r(0);
    int length = Length();
    if (length == 0 || Data()[0] != q) return r;
    int i = 1;
    for (; i < length; ++i) {
        if (Data()[i] == q) {
            if (i + 1 < length && Data()[i + 1] == q) {
                r += q;
                ++i;
                continue;
            }
            break;
        }
        r += Data()[i];
    }
    DeleteLeft(i < length ? i + 1 : length);
    return r;
}

String String::Replace(int start, int count, const String& with) const {
    int length = Length();
    start = Clip(start, 0, length > 0 ? length - 1 : 0);
    count = Clip(count, 0, length - start);
    String r(length - count + with.Length() + 1);
    r.Append(CStr(), start);
    r += with;
    r.Append(CStr() + start + count, length - start - count);
    return r;
}

void String::InsertChar(char c, int index) {
    int length = Length();
    index = Clip(index, 0, length);
    if (length > INT_MAX - 2 || !MakeWritable(length + 2)) return;
    std::memmove(Data() + index + 1, Data() + index, static_cast<size_t>(length - index + 1));
    Data()[index] = c;
    m_block->length = static_cast<uint32_t>(length + 1);
}

String String::ReplaceChar(char from, char to) const {
    String r(*this);
    if (!r.MakeWritable(0)) return r;
    for (int i = 0; i < r.Length(); ++i)
        if (r.Data()[i] == from) r.Data()[i] = to;
    return r;
}

void String::SetTag(uint32_t tag) {
    if (MakeWritable(0)) m_block->reserved = tag;
}
uint32_t String::GetTag() const { return m_block->reserved; }
