// Test-only allocator shim.  The test program is linked with
// --wrap=malloc,calloc,realloc,free, so every allocation of the layer passes
// through here; production code is untouched.
#pragma once

// The k-th allocation (1-based: malloc, calloc or realloc) the calling
// thread makes from now on fails; other threads' never do.
void AllocShim_FailAt(long k);
void AllocShim_Disarm();
// Whether the armed failure has been injected since the last FailAt.
bool AllocShim_Injected();
// While `fill` is not 0, every block malloc (or realloc of a null pointer)
// gives is filled with it first, so a test can tell the bytes a
// constructor defines from those left as the allocator gave them.
void AllocShim_Fill(unsigned char fill);
// Allocations minus frees over all threads since the process started.
long AllocShim_Live();

// Runs op() with allocation k failing, for k = 1, 2, 3, ... until a run
// injects nothing; after each run calls check(k, injected, leak delta).
// Returns the number of runs.
template <class Op, class Check>
long AllocShim_Sweep(Op op, Check check, long limit = 1000)
{
    long k = 1;
    for (; k <= limit; ++k) {
        long before = AllocShim_Live();
        AllocShim_FailAt(k);
        op();
        bool injected = AllocShim_Injected();
        AllocShim_Disarm();
        check(k, injected, AllocShim_Live() - before);
        if (!injected)
            break;
    }
    return k;
}
