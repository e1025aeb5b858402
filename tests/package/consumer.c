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

static int check_version(void)
{
    char expected[32];
    snprintf(expected, sizeof expected, "%d.%d.%d", KEEL_VERSION_MAJOR, KEEL_VERSION_MINOR,
             KEEL_VERSION_PATCH);
    if (strcmp(KEEL_VERSION_STRING, expected) != 0)
        return failed("KEEL_VERSION_STRING differs from the number macros");
    if (strcmp(Keel_Version(), KEEL_VERSION_STRING) != 0)
        return failed("Keel_Version() differs from the headers' KEEL_VERSION_STRING");
    return 0;
}

static int check_containers_and_strings(void)
{
    Vector *v = ObjectVector_New();
    String *s = String_NewFrom("keel");
    int result = 0;
    if (v == NULL || s == NULL)
        return failed("Vector or String not made");
    Vector_Append(v, s); /* the vector owns s from here on */
    if (String_Append(s, " works") != 0)
        result = failed("String_Append");
    else if (strcmp(s->string, "keel works") != 0)
        result = failed("String_Append's text");
    else if (Vector_Length(v) != 1)
        result = failed("Vector_Length");
    else if (Vector_GetAt(v, 0) != s)
        result = failed("Vector_GetAt");
    Vector_Destroy(v);
    return result;
}

static int check_error_store(void)
{
    int32_t ref = Error_Store(Error_NewCoded(42, "stored %d", 7));
    Error *error;
    int result = 0;
    if (!Error_IsError(ref))
        return failed("Error_Store gave no live reference");
    error = Error_Take(ref);
    if (error == NULL)
        return failed("Error_Take");
    if (error->code != 42)
        result = failed("the stored error's code");
    else if (strcmp(error->message->string, "stored 7") != 0)
        result = failed("the stored error's message");
    Error_Destroy(error);
    return result;
}

static int check_lock_and_log(void)
{
    Lock lock;
    Lock_Init(&lock);
    Lock_Enter(&lock);
    Lock_Enter(&lock);
    Lock_Leave(&lock);
    Lock_Leave(&lock);
    Lock_Delete(&lock);
    Log_Report(0, "consumer: built against keel %s", KEEL_VERSION_STRING);
    if (global_log_level == -1)
        return failed("the log did not read its level");
    return 0;
}

int main(void)
{
    if (check_version() != 0)
        return 1;
    if (check_containers_and_strings() != 0)
        return 1;
    if (check_error_store() != 0)
        return 1;
    if (check_lock_and_log() != 0)
        return 1;
    printf("consumer: keel %s works\n", Keel_Version());
    return 0;
}
