// map.cpp - Map: keys and values in two plain vectors run in parallel,
// found by a linear scan with the key's own equality.
//
// Rules kept here:
// - Lock order: the map's own lock, then a vector's.  The map's lock is
//   recursive; Map_Get, Map_Put and Map_Remove enter it again through
//   Map_IndexOf and Map_RemoveAt.
// - The vectors never own anything; an owning map destroys keys and values
//   itself, each object once, old key before old value.
// - After the presence test fails the operation stops; a size mismatch is
//   reported and the operation goes on over the entries both vectors hold.
#include <stdlib.h>
#include <string.h>

#include "generics_internal.h"

using keel::gen::check;
using keel::ScopedLock;

namespace {

const char kPresence[] = "map != NULL && map->keys!=NULL && map->values!=NULL";
const char kSameSize[] = "map->keys->size == map->values->size";

ScopedLock hold(const Map *map)
{
    return ScopedLock(map && map->bIsThreadSafe ? map->lock : nullptr);
}

// The presence test, then the size test.  False when the map cannot be
// used at all.
bool map_usable(const Map *map, int line)
{
    if (!check(map != nullptr && map->keys != nullptr && map->values != nullptr, kPresence,
               line))
        return false;
    check(map->keys->size == map->values->size, kSameSize, line);
    return true;
}

// A vector's readable length: 0 when its block is missing.
int32_t readable(const Vector *v)
{
    return (v == nullptr || v->data == nullptr) ? 0 : v->size;
}

// The entries that both vectors can give.
int32_t entries(const Map *map)
{
    int32_t k = readable(map->keys), v = readable(map->values);
    return k < v ? k : v;
}

void destroy_object(void *object)
{
    if (object)
        static_cast<Object *>(object)->ftbl->Destroy(object);
}

// Destroys every key and value of an owning map, key before value, each
// object once even when an entry holds one object as both.
void destroy_entries(Map *map)
{
    int32_t nk = readable(map->keys), nv = readable(map->values);
    for (int32_t i = 0; i < nk || i < nv; ++i) {
        void *key = i < nk ? map->keys->data[i] : nullptr;
        void *value = i < nv ? map->values->data[i] : nullptr;
        destroy_object(key);
        if (value != key)
            destroy_object(value);
    }
}

// Appends a new entry.  If the values cannot grow, the key is taken back
// out, so both vectors keep the same size.
void append_entry(Map *map, void *key, void *value)
{
    if (VECTOR_FTBL(map->keys)->Append(map->keys, key) == nullptr)
        return;
    if (VECTOR_FTBL(map->values)->Append(map->values, value) == nullptr)
        VECTOR_FTBL(map->keys)->RemoveAt(map->keys, map->keys->size - 1);
}

void map_destroy_slot(void *object)
{
    Map_Destroy(static_cast<Map *>(object));
}

}  // namespace

extern "C" {

const MapFunctionTable Map_Table = {
    {sizeof(Map), "Map", map_destroy_slot, nullptr, nullptr},
    Map_IndexOf,
    Map_Get,
    Map_GetAt,
    Map_Put,
    Map_Remove,
    Map_RemoveAt,
};

Map *Map_New(int32_t bOwnsElements)
{
    Map *map = static_cast<Map *>(malloc(sizeof(Map)));
    if (map == nullptr) {
        Log_Report(0, "Unable to allocate Map map");
        return nullptr;
    }
    // A vector that cannot be made has reported already: one report only.
    Vector *keys = Vector_New();
    Vector *values = keys ? Vector_New() : nullptr;
    if (values == nullptr) {
        if (keys)
            Vector_Destroy(keys);
        free(map);
        return nullptr;
    }
    // Every byte defined, padding included: byte-wise equality reads them.
    memset(map, 0, sizeof *map);
    map->ftbl = &Map_Table.base;
    map->bIsThreadSafe = 0;
    map->lock = nullptr;
    map->bOwnsElements = bOwnsElements;
    map->keys = keys;
    map->values = values;
    return map;
}

int Map_MakeThreadSafe(Map *map)
{
    if (map == nullptr)
        return 0;
    return keel::gen::switch_lock_on(&map->bIsThreadSafe, &map->lock);
}

void Map_Destroy(Map *map)
{
    map_usable(map, 421);
    if (map == nullptr)
        return;
    Map_Clear(map);
    destroy_object(map->keys);
    destroy_object(map->values);
    keel::gen::free_lock(map->lock);
    free(map);
}

void Map_Clear(Map *map)
{
    ScopedLock held = hold(map);
    map_usable(map, 437);
    if (map == nullptr)
        return;
    // Even a damaged map gives up what it holds in the vector it still has.
    if (map->bOwnsElements)
        destroy_entries(map);
    if (map->keys)
        Vector_Clear(map->keys);
    if (map->values)
        Vector_Clear(map->values);
}

int32_t Map_IndexOf(Map *map, void *key)
{
    ScopedLock held = hold(map);
    if (!map_usable(map, 456) || !check(key != nullptr, "key!=NULL", 457))
        return -1;
    int32_t n = entries(map);
    for (int32_t i = 0; i < n; ++i)
        if (keel::gen::probe_matches(key, map->keys->data[i]))
            return i;
    return -1;
}

void *Map_Get(Map *map, void *key)
{
    ScopedLock held = hold(map);
    if (!map_usable(map, 473))
        return nullptr;
    int32_t i = Map_IndexOf(map, key);
    return i < 0 ? nullptr : map->values->data[i];
}

void Map_GetAt(Map *map, int32_t index, void **key, void **value)
{
    if (key)
        *key = nullptr;
    if (value)
        *value = nullptr;
    ScopedLock held = hold(map);
    if (!map_usable(map, 485) ||
        !check(0 <= index && index < map->keys->size, "0 <= index && index < map->keys->size",
               486) ||
        index >= entries(map))
        return;
    if (key)
        *key = map->keys->data[index];
    if (value)
        *value = map->values->data[index];
}

void Map_Put(Map *map, void *key, void *value)
{
    ScopedLock held = hold(map);
    if (!map_usable(map, 497) ||
        !check(key != nullptr && value != nullptr, "key!=NULL && value!=NULL", 498))
        return;
    int32_t i = Map_IndexOf(map, key);
    if (i < 0) {
        append_entry(map, key, value);
        return;
    }
    void *oldKey = map->keys->data[i];
    void *oldValue = map->values->data[i];
    if (map->bOwnsElements) {
        // An object that is being stored again must survive the replacement.
        if (oldKey != key && oldKey != value)
            destroy_object(oldKey);
        if (oldValue != key && oldValue != value && oldValue != oldKey)
            destroy_object(oldValue);
    }
    VECTOR_FTBL(map->keys)->SetAt(map->keys, i, key);
    VECTOR_FTBL(map->values)->SetAt(map->values, i, value);
}

void *Map_Remove(Map *map, void *key)
{
    ScopedLock held = hold(map);
    if (!map_usable(map, 537) || !check(key != nullptr, "key!=NULL", 538))
        return nullptr;
    int32_t i = Map_IndexOf(map, key);
    if (i < 0)
        return nullptr;
    void *value = nullptr;
    Map_RemoveAt(map, i, nullptr, &value);
    return value;
}

void Map_RemoveAt(Map *map, int32_t index, void **key, void **value)
{
    if (key)
        *key = nullptr;
    if (value)
        *value = nullptr;
    ScopedLock held = hold(map);
    if (!map_usable(map, 521) ||
        !check(index >= 0 && index < map->keys->size, "index>=0 && index<map->keys->size", 522) ||
        index >= entries(map))
        return;
    if (key)
        *key = map->keys->data[index];
    if (value)
        *value = map->values->data[index];
    VECTOR_FTBL(map->keys)->RemoveAt(map->keys, index);
    VECTOR_FTBL(map->values)->RemoveAt(map->values, index);
}

}  // extern "C"
