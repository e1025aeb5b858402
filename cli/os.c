/* os.c - keel os: the operating system's version record, in words. */
#if defined(_WIN32)
#include <windows.h> /* the layer declares the record by its tag only */
#endif
#include <stdio.h>

#include "cli.h"
#include "util.h"

#ifndef KEEL_VER_PLATFORM_POSIX
#define KEEL_VER_PLATFORM_POSIX 0x100
#endif

static const char *platform_name(unsigned long id)
{
    switch (id) {
    case 0:
        return "Win32s";
    case 1:
        return "Windows 9x";
    case 2:
        return "Windows NT";
    case KEEL_VER_PLATFORM_POSIX:
        return "POSIX";
    default:
        return "unknown";
    }
}

static int run_os(const Subcommand *cmd, int argc, char **argv)
{
    const CliOption options[] = {{0, NULL, NULL, NULL}};
    OSVERSIONINFOA info;
    int count;
    int status = cli_parse_operands(cmd, argc, argv, options, 0, NULL, &count);
    if (status >= 0)
        return status;
    info = OsVersion_Get();
    /* A failed query leaves every field but the size 0 (the layer has said
     * why on standard error). */
    if (info.dwMajorVersion == 0 && info.dwMinorVersion == 0 && info.dwPlatformId == 0)
        return cli_fail(cmd, "the system gave no version");
    printf("size: %lu bytes\nplatform: %s (id %lu)\nversion: %lu.%lu\nbuild: %lu\ndetails: %s\n",
           (unsigned long)info.dwOSVersionInfoSize, platform_name(info.dwPlatformId),
           (unsigned long)info.dwPlatformId, (unsigned long)info.dwMajorVersion,
           (unsigned long)info.dwMinorVersion, (unsigned long)info.dwBuildNumber,
           info.szCSDVersion[0] != '\0' ? info.szCSDVersion : "(none)");
    return CLI_OK;
}

const Subcommand cli_os = {
    "os",
    "",
    "Describe the operating system's version record.",
    "Writes the record the layer gives, one field per line:\n"
    "  size: 148 bytes         the record's own size\n"
    "  platform: Windows NT (id 2)\n"
    "                          Win32s (0), Windows 9x (1), Windows NT (2), or\n"
    "                          POSIX (256): a record filled from uname\n"
    "  version: 6.1            major and minor version\n"
    "  build: 7601             the build number (POSIX: the release's third\n"
    "                          number)\n"
    "  details: Service Pack 1 the service pack (POSIX: the release text after\n"
    "                          its numbers), or (none)\n"
    "\n"
    "Exit status: 0; 1 when the system gave no version; 2 on a usage error.\n",
    run_os,
};
