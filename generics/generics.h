/*
 * generics.h - the object model and the containers.
 *
 * Every object begins with `ftbl`, a pointer to its class's FunctionTable.
 * Through it a container destroys, compares and orders elements of any
 * class.  Vectors hold element pointers, plain (refer only) or owning
 * (destroy what they still hold when cleared or destroyed); maps run two
 * plain vectors in parallel.  Both may carry a recursive lock of their own.
 *
 * Public C API: compiles as C99 and as C++.
 */
#ifndef KEEL_GENERICS_H
#define KEEL_GENERICS_H

#include <stddef.h>
#include <stdint.h>

#include "keel_version.h"

/* One export macro for the whole layer.  Define KEEL_STATIC when linking the
 * static library; KEEL_BUILDING is set while the shared library is compiled.
 * The static library exports nothing, so that a program or library linking
 * it does not export the layer's API in its turn. */
#if defined(KEEL_STATIC)
#  define KEEL_API
#elif defined(_WIN32)
#  if defined(KEEL_BUILDING)
#    define KEEL_API __declspec(dllexport)
#  else
#    define KEEL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KEEL_API __attribute__((visibility("default")))
#else
#  define KEEL_API
#endif

/* Format checking for the layer's printf-style functions.  Under mingw the
 * layer formats with the toolchain's C99 printf, not the system runtime's
 * (%e gives two exponent digits, %zu and %lld work), hence gnu_printf. */
#if defined(__GNUC__)
#  if defined(__MINGW32__)
#    define KEEL_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#  else
#    define KEEL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#  endif
#else
#  define KEEL_PRINTF(fmt, args)
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct Lock;

/* ---------------------------------------------------------------- objects */

/* Destroy releases what the object owns, then frees the object itself.
 * The layer's class tables hold wrappers of this exact type around
 * Vector_Destroy, Map_Destroy, String_Destroy and Error_Destroy, so a call
 * through a table is type-correct; a table's Destroy therefore never
 * compares equal to those functions themselves. */
typedef void (*DestroyFn)(void *object);
/* Equal(probe, element): nonzero when the probe equals the stored element. */
typedef int (*EqualFn)(const void *probe, const void *element);
/* Compare(&slot_a, &slot_b), qsort convention: each argument points at a
 * slot that holds an element pointer. */
typedef int (*CompareFn)(const void *slot_a, const void *slot_b);

typedef struct FunctionTable {
    uint32_t objectSize;     /* bytes allocated per object; byte-wise equality spans this */
    const char *className;
    DestroyFn Destroy;       /* never null */
    EqualFn Equal;           /* may be null: containers fall back on bytes or identity */
    CompareFn Compare;       /* may be null: Vector_Sort reports */
} FunctionTable;

typedef struct Object {
    const FunctionTable *ftbl;
} Object;

/* Frees the object's memory and nothing else: the Destroy of classes that
 * own nothing.  A null object is ignored. */
KEEL_API void Object_Free(void *object);

/* HandleObject / EventObject: an OS handle in the word after ftbl.  Destroy
 * frees the object only; the handle stays open. */
typedef struct HandleObject {
    const FunctionTable *ftbl;
    void *handle;
} HandleObject;
typedef HandleObject EventObject;

/* 1 when the two objects hold the same handle, else 0; neither ftbl is
 * looked at, so a HandleObject probe equals an EventObject element.  Both
 * arguments must be objects (not null). */
KEEL_API int HandleObject_Equal(const void *probe, const void *element);

KEEL_API extern const FunctionTable HandleObject_Table;
KEEL_API extern const FunctionTable EventObject_Table;

/* ---------------------------------------------------------------- vectors */

struct Vector;

/* The "Vector" table: the common fields, then seven class slots. */
typedef struct VectorFunctionTable {
    FunctionTable base;
    void *(*GetAt)(struct Vector *v, int32_t index);
    void (*SetAt)(struct Vector *v, int32_t index, void *element);
    void *(*Append)(struct Vector *v, void *element);
    void (*AppendAll)(struct Vector *dest, struct Vector *src);
    void *(*Remove)(struct Vector *v, void *probe);
    void *(*RemoveAt)(struct Vector *v, int32_t index);
    int (*Contains)(struct Vector *v, void *probe);
} VectorFunctionTable;

/* Reports: every broken precondition below is written as a level-0
 * assertion report of source "generics" ("Assertion failed: <condition> in
 * file generics on line <n>"), with the condition text and number given at
 * each function.  "Block check" is the condition "v->size==0 || v->data !=
 * NULL".  A null vector is reported as "v != NULL" with the function's first
 * number.  Where going on would read or write outside the block, the
 * function stops after its report and changes nothing.
 *
 * Null elements may be stored; searches and clearing pass them by.
 *
 * Locking: with bIsThreadSafe set, each function holds the vector's own
 * recursive lock from start to end; without it the vector takes no lock and
 * belongs to one thread at a time. */
typedef struct Vector {
    const FunctionTable *ftbl;  /* &Vector_Table.base */
    int32_t size;
    int32_t capacity;
    int32_t increment;
    int32_t bIsThreadSafe;
    struct Lock *lock;
    int32_t bOwnsElements;
    void **data;
} Vector;

KEEL_API extern const VectorFunctionTable Vector_Table;

/* The table of a vector, with its class slots. */
#define VECTOR_FTBL(v) ((const VectorFunctionTable *)(v)->ftbl)

/* A new empty plain (Vector_New) or owning (ObjectVector_New) vector with
 * a block of 10 slots, growing by 10.  Like every constructor of the
 * layer, it defines every byte of the record, padding included, so that
 * byte-wise equality never reads undefined memory.  The caller owns it and ends it with
 * Vector_Destroy.  When the object or its block cannot be allocated: one
 * level-0 report "Unable to allocate ObjectVector vec", nothing kept, NULL. */
KEEL_API Vector *Vector_New(void);
KEEL_API Vector *ObjectVector_New(void);

/* Switches the vector's own recursive lock on.  Returns 1 on success (also
 * when it was on already), 0 after the level-0 report "Unable to allocate
 * Lock lock" when the lock cannot be allocated; the vector is then
 * unchanged.  0 without a report for a null vector.  Call it before the
 * vector is shared: the flag itself is read without the lock. */
KEEL_API int Vector_MakeThreadSafe(Vector *v);

/* The class's Destroy.  An owning vector first destroys every non-null
 * element it holds (in index order, under its lock); then the block, the
 * lock and the object are freed.  Reports (142): "v != NULL" (then nothing
 * happens), block check (then no element is destroyed).  No other thread may
 * use the vector meanwhile. */
KEEL_API void Vector_Destroy(Vector *v);
/* Empties the vector: an owning vector destroys each non-null element once,
 * in index order.  The block and capacity stay.  Reports (159): block check
 * (then nothing is destroyed; the vector is still emptied). */
KEEL_API void Vector_Clear(Vector *v);
/* The GetAt slot, locked and tested: the element at index, which stays in
 * the vector.  Reports: block check (110), "index < v->size" (111), and a
 * negative index as "index >= 0" (111); after any of them NULL. */
KEEL_API void *Vector_GetAtChecked(Vector *v, int32_t index);
/* The locked, tested length read.  Reports: block check (133), after which
 * it gives 0. */
KEEL_API int32_t Vector_LengthChecked(Vector *v);
/* Stores element at index.  The element replaced is neither returned nor
 * destroyed, even by an owning vector.  Reports: block check (122),
 * "index < v->size" (123), a negative index as "index >= 0" (123); after
 * any of them nothing is stored. */
KEEL_API void Vector_SetAt(Vector *v, int32_t index, void *element);
/* Stores element (NULL included) after the last one, growing a full block
 * by `increment` slots, and returns element, so that a temporary can be
 * made and handed to an owning vector in one step.  Reports: block check
 * (89), "v->data != NULL" (95) when the block cannot grow.  After a report
 * it returns NULL, the vector keeps every element and its block, and the
 * element is not stored: the caller still owns it. */
KEEL_API void *Vector_Append(Vector *v, void *element);
/* Appends each element of src to dest, in index order, through dest's
 * Append slot; src is unchanged and the elements are shared, not copied
 * (at most one of the two may own them).  Locks src, then dest.  Stops at
 * the first element dest cannot take (dest has reported).  No report of its
 * own; a null dest or src does nothing.  Appending a vector to itself
 * doubles it. */
KEEL_API void Vector_AppendAll(Vector *dest, Vector *src);
/* Removes the first element that is the probe itself or, when the probe's
 * class has Equal, that Equal(probe, element) accepts; there is no
 * byte-wise test.  Returns the probe (not the element removed) or NULL when
 * nothing matched.  The removed element is not destroyed: the caller owns
 * it.  Reports: block check (215), then NULL. */
KEEL_API void *Vector_Remove(Vector *v, void *probe);
/* Takes out the element at index, moving later ones down, and returns it;
 * the caller owns it.  Reports: block check (193), "0 <= index && index <
 * v->size" (194); after either NULL and no change. */
KEEL_API void *Vector_RemoveAt(Vector *v, int32_t index);
/* 1 when some element equals the probe: by the probe class's Equal, or,
 * when it has none, byte for byte over the probe class's objectSize (so
 * only objects of the probe's class can match).  A null probe matches a null
 * slot.  Reports: block check (239), then 0. */
KEEL_API int Vector_Contains(Vector *v, void *probe);
/* Sorts with qsort by the Compare of the first element's class (not
 * stable).  An empty vector is left alone without a report.  Reports: block
 * check (174), "v->data[0]->ftbl->Compare!=NULL" (177, also for a null first
 * element); after either the order is unchanged. */
KEEL_API void Vector_Sort(Vector *v);
/* Sets whether the vector owns (destroys on clear and destroy) the
 * elements it holds from now on.  A null vector is ignored. */
KEEL_API void Vector_SetOwning(Vector *v, int32_t flag);

/* One field read on a vector without a lock; the locked, tested path
 * otherwise.  Without a lock nothing is checked: the vector must not be
 * null and the index must lie in 0 .. size-1. */
static inline int32_t Vector_Length(Vector *v)
{
    return v->bIsThreadSafe ? Vector_LengthChecked(v) : v->size;
}

static inline void *Vector_GetAt(Vector *v, int32_t index)
{
    return v->bIsThreadSafe ? Vector_GetAtChecked(v, index) : v->data[index];
}

/* ------------------------------------------------------------------- maps */

struct Map;

/* The "Map" table: the common fields, then six class slots. */
typedef struct MapFunctionTable {
    FunctionTable base;
    int32_t (*IndexOf)(struct Map *map, void *key);
    void *(*Get)(struct Map *map, void *key);
    void (*GetAt)(struct Map *map, int32_t index, void **key, void **value);
    void (*Put)(struct Map *map, void *key, void *value);
    void *(*Remove)(struct Map *map, void *key);
    void (*RemoveAt)(struct Map *map, int32_t index, void **key, void **value);
} MapFunctionTable;

/* Reports: as for vectors, source "generics".  Almost every function first
 * makes the presence test "map != NULL && map->keys!=NULL &&
 * map->values!=NULL" and then the size test "map->keys->size ==
 * map->values->size", both with the function's number.  After a failed
 * presence test the function stops (results NULL or -1, out-pointers set to
 * NULL); after a failed size test it goes on over the entries that both
 * vectors hold.
 *
 * Keys match by the probe key's class: its Equal when it has one, else
 * byte for byte over its objectSize; no identity test.  Entries keep the
 * order in which their keys were first put.  With bIsThreadSafe set every
 * function holds the map's own recursive lock from start to end; the map's
 * lock is always taken before a vector's. */
typedef struct Map {
    const FunctionTable *ftbl;  /* &Map_Table.base */
    int32_t bIsThreadSafe;
    struct Lock *lock;
    int32_t bOwnsElements;
    Vector *keys;
    Vector *values;
} Map;

KEEL_API extern const MapFunctionTable Map_Table;

#define MAP_FTBL(m) ((const MapFunctionTable *)(m)->ftbl)

/* A new empty map over two new plain vectors; bOwnsElements nonzero makes
 * it destroy the keys and values it clears, is destroyed with, or replaces.
 * The caller owns it and ends it with Map_Destroy.  On failure one level-0
 * report ("Unable to allocate Map map", or the vectors' own text), nothing
 * kept, NULL. */
KEEL_API Map *Map_New(int32_t bOwnsElements);
/* As Vector_MakeThreadSafe, for the map's own lock. */
KEEL_API int Map_MakeThreadSafe(Map *map);

/* The class's Destroy: Map_Clear, then both vectors, the lock and the map
 * are freed.  Reports 421 (presence test, null map included, and size
 * test); a null map is left at that.  No other thread may use the map
 * meanwhile. */
KEEL_API void Map_Destroy(Map *map);
/* Empties the map; an owning map destroys each key and then its value,
 * entry by entry (an object held as both key and value of one entry once).
 * Reports 437.  When the two vectors differ in length (the size test
 * fails), an owning map still destroys everything either vector holds:
 * the values past the last key, or the keys past the last value, too. */
KEEL_API void Map_Clear(Map *map);
/* The index of the first key that matches, or -1 (at once for an empty
 * map).  Reports 456, and "key!=NULL" (457) after which it gives -1. */
KEEL_API int32_t Map_IndexOf(Map *map, void *key);
/* The value stored under a matching key, or NULL; the map keeps the entry.
 * Reports 473, then those of Map_IndexOf. */
KEEL_API void *Map_Get(Map *map, void *key);
/* Stores the key and value at index through the out-pointers that are not
 * NULL; the map keeps them and their ownership.  Reports 485, "0 <= index
 * && index < map->keys->size" (486); after either the out-pointers get
 * NULL. */
KEEL_API void Map_GetAt(Map *map, int32_t index, void **key, void **value);
/* Stores value under key.  A new key makes a new last entry.  A matching
 * key keeps its entry's place: an owning map first destroys the old key and
 * then the old value, except an object that is being stored again (the very
 * key or value passed), which survives; then the new key and value are
 * stored.  From then on an owning map owns them.  Reports 497, "key!=NULL
 * && value!=NULL" (498, then nothing changes), then those of Map_IndexOf.
 * When a new entry cannot be added (the vector has reported) the map is
 * unchanged and the key and value stay the caller's. */
KEEL_API void Map_Put(Map *map, void *key, void *value);
/* Takes out the entry of a matching key and returns its value, which the
 * caller now owns; the stored key is dropped without being destroyed.
 * NULL and no change when the key is absent.  Reports 537, "key!=NULL"
 * (538), then those of Map_IndexOf and Map_RemoveAt. */
KEEL_API void *Map_Remove(Map *map, void *key);
/* Takes out entry index, giving its key and value through the out-pointers
 * that are not NULL; later entries move down.  Nothing is destroyed: the
 * caller takes over what it asked for.  Reports 521, "index>=0 &&
 * index<map->keys->size" (522); after either nothing changes and the
 * out-pointers get NULL. */
KEEL_API void Map_RemoveAt(Map *map, int32_t index, void **key, void **value);

#ifdef __cplusplus
}
#endif

#endif /* KEEL_GENERICS_H */
