// song_files.h - the preview's song files, read by a module of their own.
//
// FFmpeg's libraries, and all that they bring into a process (codec
// libraries by the dozen, some with start-up code of their own), are loaded
// with the first song file the program reads, not with the program: a run
// that renders the demo, replays levels or captures live sound has none of
// them. The module is lumagrove-songs.so, in the plug-in's folder (the build
// folder, or where an install puts the plug-in).
#ifndef LUMAGROVE_PREVIEW_SONG_FILES_H
#define LUMAGROVE_PREVIEW_SONG_FILES_H

#include <memory>
#include <string>

#include "toolbox/toolbox.h"

// As OpenAudioFile (toolbox/audio/audio_file.h); HostError status 1 when the
// module cannot be loaded.
std::unique_ptr<AudioSource> OpenSongFile(const std::string& path);

// As SongTitle.
std::string SongFileTitle(const AudioSource& song, const std::string& path);

// What the module hands out: its one entry point, LumagroveSongFiles, returns
// this table.
struct SongFileCalls {
    int version;  // kSongFileCallsVersion
    std::unique_ptr<AudioSource> (*open)(const std::string& path);
    std::string (*title)(const AudioSource& song, const std::string& path);
};
constexpr int kSongFileCallsVersion = 1;
extern "C" const SongFileCalls* LumagroveSongFiles();

#endif
