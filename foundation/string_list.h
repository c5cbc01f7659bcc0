// A list of owned Strings (an ItemArray of String pointers): sorting, sorted search and
// insertion, line splitting and the quoted comma-separated form.
#pragma once

#include <cstdint>

#include "foundation/item_array.h"
#include "foundation/string.h"

class StringList : public ItemArray {
public:
    StringList(uint32_t initialCount = 16, uint32_t maxCount = 0x1000000);
    ~StringList() override;

    // Removes the item and frees its String; returns the (dangling) item word, 0 when none.
    Item Remove(uint32_t index) override;
    // A new String sharing text, inserted at index (-1 appends). False when the list is full.
    virtual bool Add(const String& text, uint32_t index = static_cast<uint32_t>(-1));

    String* GetItem(uint32_t index) const { return reinterpret_cast<String*>(ItemArray::GetItem(index)); }
    void RemoveAll() {
        while (GetCount()) Remove(0);
    }

    void Sort();
    // Bisection on a sorted list; an item equal over the shorter of the two lengths matches
    // (a prefix counts as equal). first and last are clipped to the list. -1 when not found.
    int FindSorted(const char* text, int length, uint32_t first = 0, uint32_t last = static_cast<uint32_t>(-1)) const;
    // Inserts keeping the order; returns the index, -1 when the list is full.
    int InsertSorted(const String& text);
    // Splits at CR, LF or CR LF and appends each line; no empty item after a final line end.
    void SetText(const char* bytes, uint32_t length);
    // Win32 only (foundation_win32). An empty file loads as an empty list.
    int LoadFromFile(const String& path);
    int SaveToFile(const String& path) const;
    // Items quoted with '"' and joined by ","; ParseQuoted is its inverse.
    String GetQuotedText() const;
    void ParseQuoted(const String& text);
    void RemoveAdjacentDuplicates();

private:
    void SortRange(int left, int right);
};
