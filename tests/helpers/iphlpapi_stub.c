/* A stand-in for "iphlpapi.dll" with the exports of one test case, chosen
 * when it is compiled: KEEL_STUB_PLAIN (GetIfTable2, FreeMibTable),
 * KEEL_STUB_UNDERSCORED (_GetIfTable2, _FreeMibTable), KEEL_STUB_NO_FREE
 * (GetIfTable2 only), or none of them.  GetIfTable2 answers a number that
 * tells the variants apart. */
#include <stdint.h>
#include <stddef.h>

#if defined(_WIN32)
#define STUB_EXPORT __declspec(dllexport)
#define STUB_CALL __stdcall
#else
#define STUB_EXPORT __attribute__((visibility("default")))
#define STUB_CALL
#endif

#if defined(KEEL_STUB_PLAIN) || defined(KEEL_STUB_NO_FREE)
STUB_EXPORT uint32_t STUB_CALL GetIfTable2(void **table)
{
    *table = NULL;
    return 0x4701;
}
#endif

#if defined(KEEL_STUB_PLAIN)
STUB_EXPORT void STUB_CALL FreeMibTable(void *memory) { (void)memory; }
#endif

#if defined(KEEL_STUB_UNDERSCORED)
STUB_EXPORT uint32_t STUB_CALL _GetIfTable2(void **table)
{
    *table = NULL;
    return 0x4702;
}
STUB_EXPORT void STUB_CALL _FreeMibTable(void *memory) { (void)memory; }
#endif

STUB_EXPORT int keel_stub_present = 1;
