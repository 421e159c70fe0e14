/* tls_blocks FOLDER: loads every library in FOLDER (copies of tls_block.so)
 * and touches each one's thread-local block, then exits with the leak check
 * to come. Prints how many of the blocks begin 16 bytes past a page: where
 * LLVM 14's runtime, left to its default, reads the 16 bytes before a block
 * as the C library's old header and takes the allocator's chunk header there
 * for the block's bounds, so the leak check's scan of them crashes. */
#include <dirent.h>
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* Blocks of the thread-local blocks' own size, between the loads: each
 * load's own allocations could otherwise keep every block off the place. */
static void* spacers[4096];

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    DIR* folder = opendir(argv[1]);
    if (!folder) return 2;
    int loaded = 0, past = 0;
    char path[4096];
    for (struct dirent* entry; (entry = readdir(folder));) {
        if (entry->d_name[0] == '.') continue;
        snprintf(path, sizeof path, "%s/%s", argv[1], entry->d_name);
        void* library = dlopen(path, RTLD_NOW);
        char* (*block)(void) = library ? (char* (*)(void))dlsym(library, "Block") : NULL;
        if (!block) {
            fprintf(stderr, "tls_blocks: %s\n", dlerror());
            return 2;
        }
        if (loaded % 2 && loaded < 4096) spacers[loaded] = malloc(8);
        ++loaded;
        if ((uintptr_t)block() % 4096 == 16) ++past;
    }
    closedir(folder);
    printf("%d loaded, %d at 16 past a page\n", loaded, past);
    fflush(stdout); /* before the leak check, which may end the process */
    return 0;
}
