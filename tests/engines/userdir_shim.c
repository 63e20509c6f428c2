// Quakespasm searches <home>/.quakespasm/<game> before the game folder and creates those
// folders, taking <home> from the password database rather than from $HOME. ask_engines.sh
// preloads this into Quakespasm so that <home> is $HOME (a temporary folder of the run): the
// answers then never depend on, and the run never writes into, the real user's home.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pwd.h>
#include <stdlib.h>

struct passwd *getpwuid(uid_t uid) {
    static struct passwd *(*real)(uid_t);
    if (!real) real = (struct passwd * (*)(uid_t)) dlsym(RTLD_NEXT, "getpwuid");
    struct passwd *entry = real ? real(uid) : NULL;
    const char *home = getenv("HOME");
    if (entry && home) entry->pw_dir = (char *)home;
    return entry;
}
