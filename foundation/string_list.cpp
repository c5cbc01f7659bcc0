#include "foundation/string_list.h"

#include <cstring>
#include <new>

StringList::StringList(uint32_t initialCount, uint32_t maxCount) : ItemArray(initialCount, maxCount) {}

StringList::~StringList() { RemoveAll(); }

ItemArray::Item StringList::Remove(uint32_t index) {
    Item item = ItemArray::Remove(index);
    delete reinterpret_cast<String*>(item);
    return item;
}

bool StringList::Add(const String& text, uint32_t index) {
    uint32_t before = GetCount();
    String* s = new (std::nothrow) String(text);
    if (!s) return false;
    Insert(reinterpret_cast<Item>(s), index);
    if (GetCount() == before) {  // full: the String is not ours to keep
        delete s;
        return false;
    }
    return true;
}

void StringList::Sort() {
    if (GetCount() >= 2) SortRange(0, static_cast<int>(GetCount()) - 1);
}

void StringList::SortRange(int left, int right) {
    while (left < right) {
        String pivot(*GetItem(static_cast<uint32_t>((left + right) / 2)));
        int i = left, j = right;
        while (i <= j) {
            while (*GetItem(static_cast<uint32_t>(i)) < pivot) ++i;
            while (*GetItem(static_cast<uint32_t>(j)) > pivot) --j;
            if (i <= j) {
                Swap(static_cast<uint32_t>(i), static_cast<uint32_t>(j));
                ++i;
                --j;
            }
        }
        if (left < j) SortRange(left, j);
        left = i;
    }
}

int StringList::FindSorted(const char* text, int length, uint32_t first, uint32_t last) const {
    uint32_t count = GetCount();
    if (count == 0 || !text || length < 0) return -1;
    if (first >= count) first = 0;
    if (last >= count) last = count - 1;
    int lo = static_cast<int>(first), hi = static_cast<int>(last);
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        const String& item = *GetItem(static_cast<uint32_t>(mid));
        int n = item.Length() < length ? item.Length() : length;
        int c = std::memcmp(text, item.CStr(), static_cast<size_t>(n));
        if (c == 0) return mid;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return -1;
}

int StringList::InsertSorted(const String& text) {
    int lo = 0, hi = static_cast<int>(GetCount()) - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = text.Compare(*GetItem(static_cast<uint32_t>(mid)));
        if (c == 0) {
            lo = mid;
            break;
        }
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return Add(text, static_cast<uint32_t>(lo)) ? lo : -1;
}

void StringList::SetText(const char* bytes, uint32_t length) {
    uint32_t start = 0, i = 0;
    while (bytes && i < length) {
        char c = bytes[i];
        if (c == '\r' || c == '\n') {
            Add(String(bytes + start, static_cast<int>(i - start)));
            if (c == '\r' && i + 1 < length && bytes[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (bytes && start < length) Add(String(bytes + start, static_cast<int>(length - start)));
}

String StringList::GetQuotedText() const {
    String r(0);
    for (uint32_t i = 0; i < GetCount(); ++i) {
        if (i) r += ",";
        r += GetItem(i)->Quote('"');
    }
    return r;
}

void StringList::ParseQuoted(const String& text) {
    RemoveAll();
    String rest(text);
    rest.Trim();
    if (rest.Length() == 0) return;
    for (;;) {
        String item(0);
        rest.Trim();
        if (rest.Length() && rest.CStr()[0] == '"') {
            item = rest.TakeQuoted('"');
            int comma = rest.FindChar(',');
            rest.DeleteLeft(comma < 0 ? rest.Length() : comma);
        } else {
            int comma = rest.FindChar(',');
            item = rest.Mid(0, comma < 0 ? rest.Length() : comma);
            item.Trim();
            rest.DeleteLeft(comma < 0 ? rest.Length() : comma);
        }
        Add(item);
        if (rest.Length() == 0) break;
        rest.DeleteLeft(1);  // the comma; a trailing one leaves one empty item to add
    }
}

void StringList::RemoveAdjacentDuplicates() {
    for (uint32_t i = GetCount(); i-- > 1;)
        if (*GetItem(i) == *GetItem(i - 1)) Remove(i);
}
