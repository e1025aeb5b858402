/*
 * memblock.cpp - MemBlock, an object owning one raw run of bytes.
 *
 * The block keeps no size: its owner passes exact sizes and the block applies
 * no growth rule.  A failed resize leaves `bytes` as it was, so the old bytes
 * stay valid and owned by the block; the caller learns of it through the
 * reference of a stored record.  Sizes are unsigned 32-bit and are written
 * unsigned in every text.  A block is used by one thread at a time.
 */
#include <stdlib.h>

#include "check.h"
#include "util.h"

namespace {

void memblock_destroy_slot(void *object) { MemBlock_Destroy(static_cast<MemBlock *>(object)); }

}  // namespace

const FunctionTable MemBlock_Table = {
    sizeof(MemBlock), "MemBlock", memblock_destroy_slot, NULL, NULL,
};

MemBlock *MemBlock_New(uint32_t size)
{
    /* calloc: every byte of the record defined, as byte-wise equality reads them. */
    MemBlock *mem = static_cast<MemBlock *>(calloc(1, sizeof(MemBlock)));
    if (!mem) {
        Log_Report(0, "Unable to allocate MemBlock mem");
        return NULL;
    }
    mem->ftbl = &MemBlock_Table;
    mem->bytes = malloc(size);
    if (!mem->bytes && size != 0)
        Log_Report(0, "Failed to allocate block of %u bytes", (unsigned)size);
    return mem;
}

int32_t MemBlock_Resize(MemBlock *mem, uint32_t size)
{
    if (!KEEL_CHECK(mem!=NULL))
        return Error_Store(Error_New("MemBlock_Resize: mem is NULL"));
    if (size == 0) {
        /* realloc to 0 bytes differs between runtimes; freeing does not. */
        free(mem->bytes);
        mem->bytes = NULL;
        return 0;
    }
    void *resized = mem->bytes ? realloc(mem->bytes, size) : malloc(size);
    if (!resized) {
        Log_Report(0, "Failed to re-allocate block of %u bytes", (unsigned)size);
        return Error_Store(Error_New("Memory re-allocation of size %u failed", (unsigned)size));
    }
    mem->bytes = resized;
    return 0;
}

void MemBlock_Destroy(MemBlock *mem)
{
    if (!KEEL_CHECK(mem!=NULL))
        return;
    free(mem->bytes);
    free(mem);
}
