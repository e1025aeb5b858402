/* Loads the shared library, reports once, then unloads it ("unload") or
 * returns from main with it loaded ("exit"), counting the mutexes deleted
 * meanwhile: this program's pthread_mutex_destroy stands in front of the
 * system's.  The unload deletes the layer's three process-wide locks; the
 * detach at exit deletes none, since other threads may still use them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int g_destroyed = 0;
static int g_at_start = 0;

int pthread_mutex_destroy(pthread_mutex_t *mutex)
{
    int (*real)(pthread_mutex_t *) = (int (*)(pthread_mutex_t *))dlsym(RTLD_NEXT, "pthread_mutex_destroy");
    __atomic_add_fetch(&g_destroyed, 1, __ATOMIC_SEQ_CST);
    return real(mutex);
}

/* Registered before the library is loaded, so it runs after its detach. */
static void check_exit(void)
{
    int deleted = g_destroyed - g_at_start;
    printf("deleted at exit: %d\n", deleted);
    fflush(stdout);
    if (deleted != 0)
        _exit(3);
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    int at_exit = strcmp(argv[2], "exit") == 0;
    if (at_exit)
        atexit(check_exit);
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL)
        return 2;
    int (*report)(int, const char *, ...) = (int (*)(int, const char *, ...))dlsym(library, "Log_Report");
    report(0, "loaded");
    g_at_start = g_destroyed;
    if (at_exit)
        return 0;
    dlclose(library);
    int deleted = g_destroyed - g_at_start;
    printf("deleted at unload: %d\n", deleted);
    return deleted == 3 ? 0 : 3;
}
