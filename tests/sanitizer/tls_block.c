/* A library with one small thread-local block of its own: loaded by
 * dlopen, its block is allocated by the C library with malloc on the first
 * access from each thread (dynamic TLS). */
__thread char block[8] = {1};

char* Block(void) { return block; }
