// lumagrove-songs.so: the song reader, as a module the preview loads at its
// first song file (hosts/preview/song_files.h).
#include "hosts/preview/song_files.h"

extern "C" __attribute__((visibility("default"))) const SongFileCalls* LumagroveSongFiles() {
    static const SongFileCalls calls = {kSongFileCallsVersion, OpenAudioFile, SongTitle};
    return &calls;
}
