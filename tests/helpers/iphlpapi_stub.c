/* A stand-in for "iphlpapi.dll" with the exports its build chooses (only the
 * names are looked up): KEEL_STUB_PLAIN, KEEL_STUB_UNDERSCORED (the names with
 * a leading underscore), KEEL_STUB_NO_FREE (GetIfTable2 only), or none. */
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
