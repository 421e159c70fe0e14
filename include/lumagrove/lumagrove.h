/* lumagrove.h - liblumagrove, the Lumagrove visualisation as a C library.
 *
 * A visualiser loads the Lumagrove plug-in, takes the sound a program pushes
 * in, analyses it and has the plug-in draw the frames: a four-pointed star
 * with glowing sprites that follow the music. This header is the whole of
 * the library's interface: C99 and C++, every name `lumagrove_` or
 * `LUMAGROVE_`, nothing of the library's insides.
 *
 *     lumagrove_visualiser_desc desc = {0};         zero is the default, everywhere
 *     desc.width = 640; desc.height = 360;
 *     lumagrove_visualiser* v = NULL;
 *     if (lumagrove_create(&desc, &v) != LUMAGROVE_OK)
 *         fprintf(stderr, "%s\n", lumagrove_last_error(NULL));
 *     lumagrove_push_float(v, samples, count);      sound, as it comes
 *     lumagrove_frame frame = {k, k / 30.0, k / 30.0};
 *     if (lumagrove_frame_due(v, frame.sound_time))
 *         lumagrove_draw_to_memory(v, &frame, &picture);
 *     lumagrove_destroy(v);
 *
 * Glossary (the words are easy to confuse):
 *   sample frame   one instant of sound: one value per channel, interleaved.
 *                  Sound is counted in sample frames from its sample 0, the
 *                  first pushed since creation or lumagrove_restart().
 *   frame          always a picture: one the plug-in draws.
 *   sound time     where a frame falls in the sound pushed in: seconds from
 *                  sample 0 (lumagrove_frame.sound_time).
 *   time           the seconds handed to the plug-in with a frame, on the
 *                  program's own clock (a song's time, a stream's); the
 *                  plug-in's camera and motion follow it.
 *   recorded       sound known ahead of its frames (a song, a stream): each
 *                  frame is analysed on the window of sound centred on its
 *                  sound time, so it is due once half a window past it has
 *                  been pushed (lumagrove_held_back()).
 *   live           sound as it is heard (a microphone, a mixer): each frame
 *                  is analysed on the window that ends at its sound time and
 *                  is due at once; only the newest few seconds are kept.
 *   levels         the sixteen numbers the plug-in draws a frame from: eight
 *                  bands for each side, left then right, lowest band first,
 *                  each within [0, 1].
 *   target         the OpenGL context the plug-in draws in (see
 *                  lumagrove_target).
 *   destination    where one drawn frame goes: memory, a texture of a
 *                  renderer that shares the target's textures, or the
 *                  caller's own current context (which is then the target).
 *
 * Units and layout: sizes in pixels; sound rates in sample frames a second;
 * counts of sound in sample frames (not values); times in seconds as
 * doubles. Samples are interleaved; floats are taken as they are within
 * [-1, 1] (outside, clipped; NaN and infinities read as 0); 16-bit samples
 * are scaled by 1/32768.
 *
 * Ownership: the caller owns everything it passes in (descs, sound, pixels,
 * textures); the library copies what it keeps before the call returns. A
 * visualiser owns its plug-in, its context and its sound until
 * lumagrove_destroy(). Strings the library returns are its own: see the
 * thread table for how long each stays valid.
 *
 * Failures: every call that can fail returns a lumagrove_result. On failure
 * the visualiser keeps a message for its last failure (lumagrove_last_error),
 * and the log callback, if any, is given it. A failed call changes nothing
 * but that message. The library never exits, never prints, never throws
 * across this interface, and reads nothing from the environment.
 *
 * Threads:
 *   call                                 may run on
 *   ------------------------------------ --------------------------------------
 *   lumagrove_version*, _result_text,    any thread, any time
 *     _desc_defaults
 *   lumagrove_create                     any thread (its frames may be drawn
 *                                        on another)
 *   lumagrove_push_*, _sound_end,        any thread, also while a frame is drawn
 *     _fill_gap_to
 *                                        (the sound is locked apart from frames)
 *   lumagrove_frame_due, _held_back,     any thread
 *     _position_at, _next_frame
 *   lumagrove_frame_levels, _draw_*,     any thread, one frame at a time: a
 *     _last_levels                       host whose frames move between
 *                                        threads is fine (two frames at once
 *                                        take turns)
 *   lumagrove_restart*, _set_sound,      any thread, also while a frame is
 *     _set_size, _set_levels             drawn (they wait for it to end)
 *   lumagrove_last_error                 any thread; the string stays valid
 *                                        until the next failing call on the
 *                                        same visualiser (with NULL: on the
 *                                        same thread)
 *   lumagrove_plugin_info                any thread; the strings stay valid
 *                                        until lumagrove_destroy()
 *   lumagrove_destroy                    one thread, once, with no other call
 *                                        on the visualiser running or to come
 *   the log callback                     called on the thread of the call that
 *                                        failed; it must not call the library
 *                                        for the same visualiser
 * Visualisers are independent of each other: two may be used on two
 * threads at once, including two on the shared target (their frames take
 * turns in it).
 *
 * Versions: LUMAGROVE_VERSION_* name the header's, lumagrove_version() the
 * library's; a program built against 0.x runs with any library 0.y, y >= x.
 * Every function says since when it is there.
 */
#ifndef LUMAGROVE_LUMAGROVE_H
#define LUMAGROVE_LUMAGROVE_H

#include <stddef.h>
#include <stdint.h>

#if defined(LUMAGROVE_STATIC) /* the library linked in whole (a self-contained .exe) */
#  define LUMAGROVE_API
#elif defined(_WIN32) && defined(LUMAGROVE_BUILDING_LIBRARY)
#  define LUMAGROVE_API __declspec(dllexport)
#elif defined(_WIN32) && defined(LUMAGROVE_SHARED)
#  define LUMAGROVE_API __declspec(dllimport)
#elif defined(LUMAGROVE_BUILDING_LIBRARY) && defined(__GNUC__)
#  define LUMAGROVE_API __attribute__((visibility("default")))
#else
#  define LUMAGROVE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* --- versions ----------------------------------------------------------- */

#define LUMAGROVE_VERSION_MAJOR 0
#define LUMAGROVE_VERSION_MINOR 1
#define LUMAGROVE_VERSION_PATCH 0

/* The library's version: any pointer may be NULL. @since 0.1 */
LUMAGROVE_API void lumagrove_version(int* major, int* minor, int* patch);
/* The same as "MAJOR.MINOR.PATCH", the library's own string. @since 0.1 */
LUMAGROVE_API const char* lumagrove_version_string(void);

/* --- results and messages ----------------------------------------------- */

typedef enum lumagrove_result {
    LUMAGROVE_OK = 0,
    LUMAGROVE_ERROR_ARGUMENT = 1, /* a NULL that may not be, a size, rate or count out of range */
    LUMAGROVE_ERROR_STATE = 2,    /* not now: a destination this visualiser's target cannot serve,
                                     a frame whose sound has not all come */
    LUMAGROVE_ERROR_PLUGIN = 3,   /* the plug-in library: missing, not the plug-in, or it failed */
    LUMAGROVE_ERROR_GL = 4,       /* no OpenGL context could be made, or drawing in it failed */
    LUMAGROVE_ERROR_MEMORY = 5,   /* out of memory */
    LUMAGROVE_ERROR_INTERNAL = 6  /* anything else: a fault of the library's own */
} lumagrove_result;

/* A short English name of `result` ("invalid argument"), never NULL. @since 0.1 */
LUMAGROVE_API const char* lumagrove_result_text(lumagrove_result result);

typedef enum lumagrove_log_level {
    LUMAGROVE_LOG_DEBUG = 0,
    LUMAGROVE_LOG_INFO = 1,
    LUMAGROVE_LOG_WARNING = 2,
    LUMAGROVE_LOG_ERROR = 3
} lumagrove_log_level;

/* A message for the program's own log: one line, no newline, valid during
 * the call. */
typedef void (*lumagrove_log_fn)(void* user, lumagrove_log_level level, const char* message);

/* --- the visualiser's desc ---------------------------------------------- */

typedef struct lumagrove_visualiser lumagrove_visualiser;

/* Which side of the analysis a channel feeds. */
typedef enum lumagrove_side {
    LUMAGROVE_SIDE_DEFAULT = 0, /* by its place: a mono channel both, channel 0 left, 1 right, others both */
    LUMAGROVE_SIDE_LEFT = 1,
    LUMAGROVE_SIDE_RIGHT = 2,
    LUMAGROVE_SIDE_BOTH = 3 /* centre, LFE, unnamed */
} lumagrove_side;

typedef enum lumagrove_sound_mode {
    LUMAGROVE_SOUND_DEFAULT = 0, /* recorded */
    LUMAGROVE_SOUND_RECORDED = 1,
    LUMAGROVE_SOUND_LIVE = 2
} lumagrove_sound_mode;

#define LUMAGROVE_MAX_CHANNELS 64

typedef struct lumagrove_sound_desc {
    int rate;                                     /* 0: 48000; 1000..768000 */
    int channels;                                 /* 0: 2; 1..LUMAGROVE_MAX_CHANNELS */
    lumagrove_side sides[LUMAGROVE_MAX_CHANNELS]; /* per channel; zero: by its place */
    lumagrove_sound_mode mode;                    /* zero: recorded */
    /* Recorded sound is let go of once no later frame can need it; with
     * keep_all a program whose frames may go back (a page seeking a song it
     * pushed whole) keeps it all. */
    int keep_all;
    /* Live sound that stops coming (a paused or vanished source): once
     * nothing has been pushed for this many seconds, silence is counted in
     * at the sound's rate as time passes (at lumagrove_sound_end() and each
     * frame), until sound comes again, so the newest sound decays to
     * silence. 0: 0.25; below 0: never. Recorded sound is never filled. */
    double quiet_seconds;
    /* Recorded sound: above 0, at most the newest this many seconds are
     * kept whatever the frames (a ring), for a program that streams a song
     * of any length and whose frames may stop coming for a while (a page in
     * a hidden tab). 0: as keep_all says. Live sound keeps its newest 10 s. */
    double keep_seconds;
} lumagrove_sound_desc;

typedef enum lumagrove_target {
    LUMAGROVE_TARGET_DEFAULT = 0,   /* offscreen */
    LUMAGROVE_TARGET_OFFSCREEN = 1, /* an offscreen context of the visualiser's own, of its size */
    LUMAGROVE_TARGET_SHARED = 2,    /* the one offscreen context all shared visualisers of the
                                       process take turns in; any size a frame; the only one
                                       that draws into a renderer's texture */
    LUMAGROVE_TARGET_CURRENT = 3    /* the caller's own context, current on the creating thread
                                       at lumagrove_create() (a compatibility profile, or
                                       OpenGL 1.1 to 2.1): the way a window draws; any size a
                                       frame; frames by lumagrove_draw_current() alone */
} lumagrove_target;

typedef struct lumagrove_visualiser_desc {
    const char* plugin_path; /* the plug-in library; NULL or "": the one installed with this library
                                (lumagrove_desc_defaults gives its path, the library's string) */
    int width, height;       /* the frames'; 0: 1280 x 720; 16..8192 */
    lumagrove_sound_desc sound;
    lumagrove_target target;
    /* LUMAGROVE_TARGET_SHARED: a renderer whose textures the shared context
     * is to share (EGLDisplay, EGLContext), or NULL. */
    void* share_egl_display;
    void* share_egl_context;
    lumagrove_log_fn log; /* NULL: no log */
    void* log_user;
} lumagrove_visualiser_desc;

/* `desc` (NULL: all zero) with every default filled in: what
 * lumagrove_create() would use. @since 0.1 */
LUMAGROVE_API lumagrove_visualiser_desc lumagrove_desc_defaults(const lumagrove_visualiser_desc* desc);

/* --- life ------------------------------------------------------------------ */

/* A visualiser: the plug-in loaded and started on its target. On failure
 * *out is NULL and lumagrove_last_error(NULL) says why (on this thread).
 * @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_create(const lumagrove_visualiser_desc* desc, lumagrove_visualiser** out);
/* Releases the plug-in, the target and the sound (on the caller's target,
 * with its context current: the plug-in frees its texture there). NULL is
 * nothing. @since 0.1 */
LUMAGROVE_API void lumagrove_destroy(lumagrove_visualiser* visualiser);
/* The message of `visualiser`'s last failure, or of this thread's last
 * failed lumagrove_create() with NULL; "" when there was none. Never NULL. @since 0.1 */
LUMAGROVE_API const char* lumagrove_last_error(const lumagrove_visualiser* visualiser);

typedef struct lumagrove_plugin_info {
    const char* author;
    const char* name;
    const char* version;
    const char* date; /* "YYYY-MM-DD" */
    const char* email;
    const char* url;
    const char* path; /* the plug-in library's file, as loaded */
} lumagrove_plugin_info;

/* The loaded plug-in's own description. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_plugin_info_of(const lumagrove_visualiser* visualiser,
                                                        lumagrove_plugin_info* info);

/* --- sound ---------------------------------------------------------------- */

/* `count` interleaved sample frames of the visualiser's sound. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_push_float(lumagrove_visualiser* visualiser, const float* samples,
                                                    int64_t count);
LUMAGROVE_API lumagrove_result lumagrove_push_s16(lumagrove_visualiser* visualiser, const int16_t* samples,
                                                  int64_t count);
/* `count` sample frames of silence (a gap in a stream). @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_push_silence(lumagrove_visualiser* visualiser, int64_t count);
/* For a program that places sound by time (a stream's timestamps): the
 * next sound belongs at sample frame `at`. A gap of more than a hundredth
 * of a second before it is filled with silence, so later frames keep their
 * places; returns how many sample frames from `at` are there already (an
 * overlap, for the caller to pass over), or 0. @since 0.1 */
LUMAGROVE_API int64_t lumagrove_fill_gap_to(lumagrove_visualiser* visualiser, int64_t at);
/* The sample frame the next push lands at: how much sound there is. @since 0.1 */
LUMAGROVE_API int64_t lumagrove_sound_end(const lumagrove_visualiser* visualiser);
/* Sound from sample 0 again and the analysis afresh (a seek, a new stream);
 * the plug-in and its clock go on. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_restart(lumagrove_visualiser* visualiser);
/* Sound afresh from sample frame `at` (0 or more) of the same timeline: a
 * seek in a song, or a song drawn from part-way. Nothing is held, the next
 * push lands at `at`, frames keep their sound times, and the analysis starts
 * afresh. lumagrove_restart() is this at 0. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_restart_at(lumagrove_visualiser* visualiser, int64_t at);
/* A sound of another format from sample 0 (a new track). @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_set_sound(lumagrove_visualiser* visualiser, const lumagrove_sound_desc* sound);

/* --- frames ------------------------------------------------------------- */

typedef struct lumagrove_frame {
    int64_t index;     /* frames since the start (or a restart): the plug-in's frame count */
    double time;       /* the program's clock, handed to the plug-in */
    double sound_time; /* where it falls in the sound, seconds from sample 0 */
} lumagrove_frame;

/* Sample frames pushed past a frame's sound time before it is due: half an
 * analysis window for recorded sound, 0 for live. @since 0.1 */
LUMAGROVE_API int64_t lumagrove_held_back(const lumagrove_visualiser* visualiser);
/* 1 when the frame at `sound_time` can be drawn from the sound there is, else 0. @since 0.1 */
LUMAGROVE_API int lumagrove_frame_due(const lumagrove_visualiser* visualiser, double sound_time);

/* The sample frame nearest `sound_time` (where a frame's sound is, to date
 * it on the program's clock). @since 0.1 */
LUMAGROVE_API int64_t lumagrove_position_at(const lumagrove_visualiser* visualiser, double sound_time);

/* Frames at a steady rate through the sound: frame k at k * fps_den /
 * fps_num seconds of sound, its time time_origin + that. The caller owns
 * the clock and may set `next` (a restart: 0) or `time_origin` (a clock
 * that runs on across a seek) between calls. */
typedef struct lumagrove_frame_clock {
    int fps_num;        /* 0: 30 */
    int fps_den;        /* 0: 1 */
    double time_origin; /* the time of frame 0 */
    int64_t next;       /* the index of the frame to come */
    /* The sound has ended: every frame it covers is due at once, the rest
     * of their windows reading as silence, and no frame after them. */
    int ending;
} lumagrove_frame_clock;

/* 1 when the clock's next frame is due: *frame is that frame and the clock
 * moves on. 0 when it is not due yet (or, ending, there is none). @since 0.1 */
LUMAGROVE_API int lumagrove_next_frame(const lumagrove_visualiser* visualiser, lumagrove_frame_clock* clock,
                                       lumagrove_frame* frame);

/* The size the next frames are drawn at (a shared or the caller's target's
 * may change any frame; an offscreen target's is fixed at creation). @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_set_size(lumagrove_visualiser* visualiser, int width, int height);

/* The frame's sixteen levels, taken without drawing it (a frame too late to
 * show, or a program that draws for itself); `levels` may be NULL. The
 * plug-in sees the frame all the same, so its motion keeps its pace. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_frame_levels(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                                      float levels[16]);

/* The sixteen levels of the last frame drawn or taken (zeros before any):
 * a program that writes them out beside the picture. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_last_levels(const lumagrove_visualiser* visualiser, float levels[16]);

/* Levels given in place of the sound's: every frame from now on is drawn
 * from these sixteen (as they are; one that is no finite number reads as
 * 0), its waveform and spectrum silent, until this is called with NULL. For levels recorded before and
 * replayed, one frame at a time. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_set_levels(lumagrove_visualiser* visualiser, const float levels[16]);

typedef enum lumagrove_pixel_format {
    LUMAGROVE_PIXELS_DEFAULT = 0, /* RGBA */
    LUMAGROVE_PIXELS_RGBA = 1,    /* bytes red, green, blue, alpha (255) */
    LUMAGROVE_PIXELS_BGRA = 2     /* bytes blue, green, red, alpha (255) */
} lumagrove_pixel_format;

typedef struct lumagrove_picture {
    void* pixels;                  /* height rows of width pixels, 4 bytes each; the caller's */
    size_t stride;                 /* bytes from a row to the next; 0: width * 4 */
    lumagrove_pixel_format format; /* zero: RGBA */
    int bottom_row_first;          /* zero: the top row first */
} lumagrove_picture;

/* One frame drawn and read into `picture` (the frame's size is the
 * visualiser's). @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_draw_to_memory(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                                        const lumagrove_picture* picture);
/* One frame drawn straight into `texture` (a GL_TEXTURE_2D of the frame's
 * size) of the renderer given as share_egl_*: the shared target only, when
 * it does share that renderer's textures (lumagrove_shares_textures). Done
 * when this returns. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_draw_to_texture(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                                         unsigned int texture);
/* One frame drawn into the framebuffer bound in the caller's context, at
 * the visualiser's size from its lower left corner, for the caller to show
 * or read: LUMAGROVE_TARGET_CURRENT only, with that context (or one
 * sharing its objects) current on the calling thread. The plug-in sets the
 * context's state as an OpenGL 1.1 program does (viewport, matrices,
 * blending, the clear colour) and leaves it so. @since 0.1 */
LUMAGROVE_API lumagrove_result lumagrove_draw_current(lumagrove_visualiser* visualiser, const lumagrove_frame* frame);
/* 1 when lumagrove_draw_to_texture() can serve the renderer given, else 0. @since 0.1 */
LUMAGROVE_API int lumagrove_shares_textures(const lumagrove_visualiser* visualiser);

#ifdef __cplusplus
}
#endif

#endif
