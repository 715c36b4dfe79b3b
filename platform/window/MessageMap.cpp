#include "platform/window/MessageMap.h"

const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id) {
    for (; map != nullptr; map = map->baseMap ? map->baseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->message != 0; ++entry)
            if (entry->message == message && entry->code == code && entry->id == id) return entry;
    return nullptr;
}
