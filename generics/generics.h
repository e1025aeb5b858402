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

/* One export macro for the whole layer.  Define KEEL_STATIC when linking the
 * static library; KEEL_BUILDING is set while the layer itself is compiled. */
#if defined(_WIN32) && !defined(KEEL_STATIC)
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

#if defined(__GNUC__)
#  if defined(__MINGW32__)
#    define KEEL_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
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

/* Destroy releases what the object owns, then frees the object itself. */
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

/* Frees the object's memory and nothing else: the Destroy of classes that own nothing. */
KEEL_API void Object_Free(void *object);

/* HandleObject / EventObject: an OS handle in the word after ftbl.  Destroy
 * frees the object only; the handle stays open. */
typedef struct HandleObject {
    const FunctionTable *ftbl;
    void *handle;
} HandleObject;
typedef HandleObject EventObject;

/* 1 when the two objects hold the same handle; neither ftbl is looked at. */
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
 * room for 10 elements.  On failure one level-0 report and NULL. */
KEEL_API Vector *Vector_New(void);
KEEL_API Vector *ObjectVector_New(void);

/* Switches the vector's own recursive lock on.  Returns 1 on success (also
 * when it was on already), 0 after a level-0 report when the lock cannot be
 * allocated; the vector is then unchanged. */
KEEL_API int Vector_MakeThreadSafe(Vector *v);

KEEL_API void Vector_Destroy(Vector *v);
KEEL_API void Vector_Clear(Vector *v);
/* The GetAt slot: locked and tested.  Index out of range: report, NULL. */
KEEL_API void *Vector_GetAtChecked(Vector *v, int32_t index);
/* The locked, tested length read. */
KEEL_API int32_t Vector_LengthChecked(Vector *v);
KEEL_API void Vector_SetAt(Vector *v, int32_t index, void *element);
KEEL_API void *Vector_Append(Vector *v, void *element);
KEEL_API void Vector_AppendAll(Vector *dest, Vector *src);
KEEL_API void *Vector_Remove(Vector *v, void *probe);
KEEL_API void *Vector_RemoveAt(Vector *v, int32_t index);
KEEL_API int Vector_Contains(Vector *v, void *probe);
KEEL_API void Vector_Sort(Vector *v);
KEEL_API void Vector_SetOwning(Vector *v, int32_t flag);

/* One field read on a vector without a lock; the locked, tested path otherwise. */
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

/* A new empty map; bOwnsElements nonzero makes it destroy the keys and
 * values it drops.  On failure one level-0 report and NULL. */
KEEL_API Map *Map_New(int32_t bOwnsElements);
/* As Vector_MakeThreadSafe, for the map's own lock. */
KEEL_API int Map_MakeThreadSafe(Map *map);

KEEL_API void Map_Destroy(Map *map);
KEEL_API void Map_Clear(Map *map);
KEEL_API int32_t Map_IndexOf(Map *map, void *key);
KEEL_API void *Map_Get(Map *map, void *key);
KEEL_API void Map_GetAt(Map *map, int32_t index, void **key, void **value);
KEEL_API void Map_Put(Map *map, void *key, void *value);
KEEL_API void *Map_Remove(Map *map, void *key);
KEEL_API void Map_RemoveAt(Map *map, int32_t index, void **key, void **value);

#ifdef __cplusplus
}
#endif

#endif /* KEEL_GENERICS_H */
