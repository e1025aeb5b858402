/* A stand-in for "iphlpapi.dll" with the exports of one test case, chosen
 * when it is compiled: KEEL_STUB_PLAIN (GetIfTable2, FreeMibTable),
 * KEEL_STUB_UNDERSCORED (_GetIfTable2, _FreeMibTable), KEEL_STUB_NO_FREE
 * (GetIfTable2 only), or none of them.  Only the names are looked up. */
#if defined(KEEL_STUB_PLAIN) || defined(KEEL_STUB_NO_FREE)
void GetIfTable2(void) {}
#endif

#if defined(KEEL_STUB_PLAIN)
void FreeMibTable(void) {}
#endif

#if defined(KEEL_STUB_UNDERSCORED)
void _GetIfTable2(void) {}
void _FreeMibTable(void) {}
#endif
