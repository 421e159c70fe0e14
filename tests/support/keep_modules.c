/* keep_modules.so: a dlclose() that keeps every module loaded. Preloaded
 * into a process whose modules are unloaded before it exits (libobs unloads
 * OBS's plug-ins at shutdown), so that LeakSanitizer, which checks at exit,
 * still finds the code and data of each module: what a module's static data
 * holds is not reported as leaked, and a leak is named by its module rather
 * than "<unknown module>". */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
