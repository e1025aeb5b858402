/* A program outside keel's tree, built against an installed keel: the
 * library it runs with must be the one its headers describe, and the layer
 * must work through its C API.  Prints one line and returns 0, or names the
 * first check that failed and returns 1.  It writes navl.log in the current
 * directory. */
#include <stdio.h>
#include <string.h>

#include "generics.h"
#include "util.h"

static int failed(const char *what)
{
    fprintf(stderr, "consumer: FAILED: %s\n", what);
    return 1;
}

int main(void)
{
    Vector *v = ObjectVector_New();
    String *s = String_NewFrom("keel");
    int32_t ref = Error_Store(Error_NewCoded(42, "stored %d", 7));
    Error *error = Error_Take(ref);
    Lock lock; /* its size comes from the installed header */
    if (strcmp(Keel_Version(), KEEL_VERSION_STRING) != 0)
        return failed("Keel_Version() differs from the headers' KEEL_VERSION_STRING");
    Vector_Append(v, s); /* the vector owns s from here on */
    if (String_Append(s, " works") != 0)
        return failed("String_Append");
    if (strcmp(s->string, "keel works") != 0)
        return failed("String_Append's text");
    if (Vector_Length(v) != 1)
        return failed("Vector_Length");
    Vector_Destroy(v);
    if (error == NULL)
        return failed("Error_Take");
    if (error->code != 42)
        return failed("the stored error's code");
    if (strcmp(error->message->string, "stored 7") != 0)
        return failed("the stored error's message");
    Error_Destroy(error);
    Lock_Init(&lock);
    Lock_Enter(&lock);
    Lock_Enter(&lock);
    Lock_Leave(&lock);
    Lock_Leave(&lock);
    Lock_Delete(&lock);
    Log_Report(0, "consumer: built against keel %s", KEEL_VERSION_STRING);
    if (global_log_level == -1)
        return failed("the log did not read its level");
    printf("consumer: keel %s works\n", Keel_Version());
    return 0;
}
