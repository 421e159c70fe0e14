/* The C API as a C program sees it: lumagrove.h compiled as C99, linked
 * with liblumagrove.so.0 alone, drawing on Mesa through EGL. Each case is
 * a function; the program's status is the number of failed checks. */
#define _POSIX_C_SOURCE 199309L /* nanosleep */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "lumagrove/lumagrove.h"

static int failures = 0;
static const char* current = "";

#define CHECK(condition)                                                                   \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      fprintf(stderr, "%s:%d: %s: failed: %s\n", __FILE__, __LINE__, current, #condition); \
      ++failures;                                                                          \
    }                                                                                      \
  } while (0)
#define CHECK_RESULT(call, expected)                                                                    \
  do {                                                                                                  \
    const lumagrove_result got_ = (call);                                                               \
    if (got_ != (expected)) {                                                                           \
      fprintf(stderr, "%s:%d: %s: %s gave %d (%s), not %s\n", __FILE__, __LINE__, current, #call, got_, \
              lumagrove_result_text(got_), #expected);                                                  \
      ++failures;                                                                                       \
    }                                                                                                   \
  } while (0)

#define kRate 48000
#define kPi 3.14159265358979

/* An odd size, not square: a transposed or padded read shows. */
#define kWidth 67
#define kHeight 41

/* `seconds` of stereo: a loud 60 Hz tone on the left, silence on the right. */
static float* LeftTone(double seconds, int64_t* count) {
    *count = (int64_t)(seconds * kRate);
    float* samples = calloc((size_t)*count * 2, sizeof(float));
    for (int64_t i = 0; i < *count; ++i) samples[2 * i] = (float)(0.8 * sin(2 * kPi * 60.0 * i / kRate));
    return samples;
}

static lumagrove_visualiser* Make(lumagrove_visualiser_desc desc) {
    lumagrove_visualiser* v = NULL;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_OK);
    if (!v) fprintf(stderr, "  %s\n", lumagrove_last_error(NULL));
    return v;
}

static lumagrove_visualiser_desc Small(void) {
    lumagrove_visualiser_desc desc;
    memset(&desc, 0, sizeof desc);
    desc.width = kWidth;
    desc.height = kHeight;
    return desc;
}

static void VersionsAndTexts(void) {
    current = "versions and texts";
    int major = -1, minor = -1, patch = -1;
    lumagrove_version(&major, &minor, &patch);
    CHECK(major == LUMAGROVE_VERSION_MAJOR && minor == LUMAGROVE_VERSION_MINOR && patch == LUMAGROVE_VERSION_PATCH);
    lumagrove_version(NULL, NULL, NULL);
    char expected[32];
    snprintf(expected, sizeof expected, "%d.%d.%d", major, minor, patch);
    CHECK(strcmp(lumagrove_version_string(), expected) == 0);
    /* Every result its own text. */
    for (int a = LUMAGROVE_OK; a <= LUMAGROVE_ERROR_INTERNAL; ++a)
        for (int b = a + 1; b <= LUMAGROVE_ERROR_INTERNAL; ++b)
            CHECK(strcmp(lumagrove_result_text((lumagrove_result)a), lumagrove_result_text((lumagrove_result)b)) != 0);
    CHECK(lumagrove_result_text((lumagrove_result)99) != NULL);
}

static void ZeroIsTheDefault(void) {
    current = "zero is the default";
    const lumagrove_visualiser_desc d = lumagrove_desc_defaults(NULL);
    CHECK(d.width == 1280 && d.height == 720);
    CHECK(d.sound.rate == 48000 && d.sound.channels == 2);
    CHECK(d.sound.sides[0] == LUMAGROVE_SIDE_LEFT && d.sound.sides[1] == LUMAGROVE_SIDE_RIGHT);
    CHECK(d.sound.sides[2] == LUMAGROVE_SIDE_DEFAULT);
    CHECK(d.sound.mode == LUMAGROVE_SOUND_RECORDED);
    CHECK(d.target == LUMAGROVE_TARGET_OFFSCREEN);
    /* What is set stays; what is not is filled in. Six channels: the
     * unnamed ones feed both sides. */
    lumagrove_visualiser_desc mine = Small();
    mine.sound.channels = 6;
    mine.sound.sides[1] = LUMAGROVE_SIDE_LEFT;
    const lumagrove_visualiser_desc filled = lumagrove_desc_defaults(&mine);
    CHECK(filled.width == kWidth && filled.height == kHeight && filled.sound.channels == 6);
    CHECK(filled.sound.sides[0] == LUMAGROVE_SIDE_LEFT && filled.sound.sides[1] == LUMAGROVE_SIDE_LEFT);
    CHECK(filled.sound.sides[4] == LUMAGROVE_SIDE_BOTH);
}

static char logged[1024];
static int logLevel = -1;
static void Log(void* user, lumagrove_log_level level, const char* message) {
    (void)user;
    if (level == LUMAGROVE_LOG_ERROR) {
        logLevel = (int)level;
        snprintf(logged, sizeof logged, "%s", message);
    }
}

static void BadDescsAreRefusedWithAReason(void) {
    current = "bad descs";
    lumagrove_visualiser* v = (lumagrove_visualiser*)&v; /* set to NULL on failure */
    CHECK_RESULT(lumagrove_create(NULL, NULL), LUMAGROVE_ERROR_ARGUMENT);

    lumagrove_visualiser_desc desc = Small();
    desc.width = 15;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_ARGUMENT);
    CHECK(v == NULL);
    CHECK(strstr(lumagrove_last_error(NULL), "15x41") != NULL);

    desc = Small();
    desc.sound.rate = 100;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_ARGUMENT);
    CHECK(strstr(lumagrove_last_error(NULL), "100 Hz") != NULL);

    desc = Small();
    desc.sound.channels = LUMAGROVE_MAX_CHANNELS + 1;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_ARGUMENT);

    desc = Small();
    desc.sound.sides[0] = (lumagrove_side)7;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_ARGUMENT);

    /* A plug-in that is missing, and a library that is no plug-in: named,
     * and said to the log too. */
    desc = Small();
    desc.plugin_path = "/nonexistent/lumagrove.so";
    desc.log = Log;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_PLUGIN);
    CHECK(strstr(lumagrove_last_error(NULL), "/nonexistent/lumagrove.so") != NULL);
    CHECK(logLevel == LUMAGROVE_LOG_ERROR && strcmp(logged, lumagrove_last_error(NULL)) == 0);
    desc.plugin_path = LUMAGROVE_NOT_A_PLUGIN;
    CHECK_RESULT(lumagrove_create(&desc, &v), LUMAGROVE_ERROR_PLUGIN);
    CHECK(strstr(lumagrove_last_error(NULL), "QueryInterface") != NULL);
}

static void AFrameDrawnToMemoryInEveryLayout(void) {
    current = "memory";
    lumagrove_visualiser* v = Make(Small());
    if (!v) return;
    lumagrove_plugin_info info;
    CHECK_RESULT(lumagrove_plugin_info_of(v, &info), LUMAGROVE_OK);
    CHECK(info.name && strlen(info.name) > 0 && info.date && strlen(info.date) == 10);
    CHECK(info.path && strstr(info.path, "lumagrove.so") == info.path + strlen(info.path) - strlen("lumagrove.so"));

    int64_t count = 0;
    float* tone = LeftTone(2.0, &count);
    const lumagrove_frame frame = {15, 0.5, 0.5};
    CHECK(!lumagrove_frame_due(v, frame.sound_time));
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == count);
    CHECK(lumagrove_frame_due(v, frame.sound_time));
    CHECK(!lumagrove_frame_due(v, 2.0));

    /* RGBA top row first, with padding after each row; then BGRA, and the
     * bottom row first. */
    const size_t stride = kWidth * 4 + 12, bytes = stride * kHeight;
    unsigned char* rgba = malloc(bytes);
    unsigned char* bgra = malloc(bytes);
    unsigned char* flipped = malloc(bytes);
    memset(rgba, 0x5A, bytes);
    memset(bgra, 0x5A, bytes);
    lumagrove_picture picture = {rgba, stride, LUMAGROVE_PIXELS_RGBA, 0};
    CHECK_RESULT(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK);
    picture.pixels = bgra;
    picture.format = LUMAGROVE_PIXELS_BGRA;
    CHECK_RESULT(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK);
    picture.pixels = flipped;
    picture.bottom_row_first = 1;
    CHECK_RESULT(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK);
    int coloured = 0, swapped = 1, mirrored = 1, padding = 1, opaque = 1;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* a = rgba + y * stride + x * 4;
            const unsigned char* b = bgra + y * stride + x * 4;
            const unsigned char* f = flipped + (kHeight - 1 - y) * stride + x * 4;
            swapped &= a[0] == b[2] && a[1] == b[1] && a[2] == b[0] && a[3] == b[3];
            mirrored &= memcmp(b, f, 4) == 0;
            opaque &= a[3] == 255;
            coloured += abs(a[0] - a[2]) > 40;
        }
        padding &= rgba[y * stride + kWidth * 4] == 0x5A && rgba[y * stride + stride - 1] == 0x5A;
    }
    CHECK(swapped);
    CHECK(mirrored);
    CHECK(padding);
    CHECK(opaque);
    CHECK(coloured > 20); /* the glows of the loud left side */

    /* What the memory cannot hold is refused, and nothing is drawn. */
    picture.stride = kWidth * 4 - 1;
    CHECK_RESULT(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_ERROR_ARGUMENT);
    CHECK(strstr(lumagrove_last_error(v), "stride") != NULL);
    picture.stride = 0;
    picture.format = (lumagrove_pixel_format)9;
    CHECK_RESULT(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_ERROR_ARGUMENT);
    CHECK_RESULT(lumagrove_draw_to_memory(v, NULL, &picture), LUMAGROVE_ERROR_ARGUMENT);
    /* An offscreen target keeps its size, and shares no textures. */
    CHECK_RESULT(lumagrove_set_size(v, kWidth, kHeight), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_set_size(v, 64, 64), LUMAGROVE_ERROR_STATE);
    CHECK_RESULT(lumagrove_set_size(v, 64, 9000), LUMAGROVE_ERROR_ARGUMENT);
    CHECK(!lumagrove_shares_textures(v));
    CHECK_RESULT(lumagrove_draw_to_texture(v, &frame, 1), LUMAGROVE_ERROR_STATE);
    free(rgba);
    free(bgra);
    free(flipped);
    free(tone);
    lumagrove_destroy(v);
    lumagrove_destroy(NULL);
}

/* Levels of sound pushed as floats and as 16-bit integers, through a gap,
 * a restart and one part-way, and levels given in place of the sound's. Sixteen levels: left bands 0..7, then right. */
static void LevelsFollowTheSoundThroughAGapAndARestart(void) {
    current = "levels";
    lumagrove_visualiser* v = Make(Small());
    lumagrove_visualiser* w = Make(Small());
    if (!v || !w) return;
    int64_t count = 0;
    float* tone = LeftTone(1.0, &count);
    int16_t* whole = malloc((size_t)count * 2 * sizeof(int16_t));
    for (int64_t i = 0; i < count * 2; ++i) whole[i] = (int16_t)lrintf(tone[i] * 32767.0f);
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_push_s16(w, whole, count), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_push_silence(v, kRate), LUMAGROVE_OK); /* a second of gap */
    CHECK_RESULT(lumagrove_push_silence(w, kRate), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == 2 * kRate);
    /* Sound placed by time: a gap is silence, a hundredth of a second is
     * not a gap, and an overlap is said. */
    CHECK(lumagrove_fill_gap_to(w, 2 * kRate + kRate / 200) == 0);
    CHECK(lumagrove_sound_end(w) == 2 * kRate);
    CHECK(lumagrove_fill_gap_to(w, 2 * kRate - 1000) == 1000);
    CHECK(lumagrove_fill_gap_to(w, 3 * kRate) == 0);
    CHECK(lumagrove_sound_end(w) == 3 * kRate);

    float a[16], b[16], gap[16];
    const lumagrove_frame loud = {0, 0.5, 0.5}, quiet = {1, 1.6, 1.6};
    CHECK_RESULT(lumagrove_frame_levels(v, &loud, a), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_frame_levels(w, &loud, b), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_frame_levels(v, &quiet, gap), LUMAGROVE_OK);
    CHECK(a[0] > 0.3f && a[0] > 20 * a[4]); /* the lowest band on the left */
    CHECK(a[8] < 0.05f);                    /* the right is silent */
    CHECK(fabsf(a[0] - b[0]) < 0.01f);      /* 16-bit sound is the same sound */
    CHECK(gap[0] < 0.05f);
    CHECK_RESULT(lumagrove_frame_levels(v, &loud, NULL), LUMAGROVE_OK);

    CHECK_RESULT(lumagrove_restart(v), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == 0);
    CHECK(!lumagrove_frame_due(v, 0.5));
    CHECK_RESULT(lumagrove_push_float(v, NULL, 5), LUMAGROVE_ERROR_ARGUMENT);
    CHECK_RESULT(lumagrove_push_silence(v, -1), LUMAGROVE_ERROR_ARGUMENT);

    /* A restart part-way keeps the timeline: the tone pushed from 1 s on is
     * at 1.5 s, nothing before it. */
    CHECK_RESULT(lumagrove_restart_at(v, kRate), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == kRate);
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == kRate + count);
    const lumagrove_frame before = {2, 2.5, 0.5}, within = {3, 3.5, 1.5};
    CHECK_RESULT(lumagrove_frame_levels(v, &before, gap), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_frame_levels(v, &within, a), LUMAGROVE_OK);
    CHECK(gap[0] < 0.05f && a[0] > 0.3f);
    CHECK_RESULT(lumagrove_last_levels(v, b), LUMAGROVE_OK);
    CHECK(memcmp(a, b, sizeof a) == 0);
    CHECK_RESULT(lumagrove_restart_at(v, -1), LUMAGROVE_ERROR_ARGUMENT);

    /* Levels given replace the sound's, a NaN as 0, until taken back. */
    float given[16];
    for (int i = 0; i < 16; ++i) given[i] = i / 16.0f;
    given[5] = NAN;
    CHECK_RESULT(lumagrove_set_levels(v, given), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_frame_levels(v, &within, b), LUMAGROVE_OK);
    CHECK(b[0] == 0.0f && b[5] == 0.0f && b[15] == 15 / 16.0f);
    CHECK_RESULT(lumagrove_set_levels(v, NULL), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_frame_levels(v, &within, b), LUMAGROVE_OK);
    CHECK(b[0] > 0.3f);
    free(tone);
    free(whole);
    lumagrove_destroy(v);
    lumagrove_destroy(w);
}

/* Live sound: frames are due at once, from the window that ends at them;
 * a new sound format replaces the old from its sample 0. */
static void LiveSoundAndANewFormat(void) {
    current = "live";
    lumagrove_visualiser_desc desc = Small();
    desc.sound.mode = LUMAGROVE_SOUND_LIVE;
    lumagrove_visualiser* v = Make(desc);
    if (!v) return;
    CHECK(lumagrove_held_back(v) == 0);
    int64_t count = 0;
    float* tone = LeftTone(0.5, &count);
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    CHECK(lumagrove_frame_due(v, 0.5));
    float levels[16];
    const lumagrove_frame end = {0, 10.0, 0.5};
    CHECK_RESULT(lumagrove_frame_levels(v, &end, levels), LUMAGROVE_OK);
    CHECK(levels[0] > 0.3f);

    lumagrove_sound_desc mono;
    memset(&mono, 0, sizeof mono);
    mono.rate = 44100;
    mono.channels = 1;
    CHECK_RESULT(lumagrove_set_sound(v, &mono), LUMAGROVE_OK);
    CHECK(lumagrove_sound_end(v) == 0);
    CHECK(lumagrove_held_back(v) > 0); /* recorded again, by default */
    mono.channels = 0;
    mono.rate = 5;
    CHECK_RESULT(lumagrove_set_sound(v, &mono), LUMAGROVE_ERROR_ARGUMENT);
    CHECK(strstr(lumagrove_last_error(v), "5 Hz") != NULL);
    free(tone);
    lumagrove_destroy(v);
}

/* The frame clock: recorded frames come as their sound does (half a
 * window held back), all those the sound covers at its end and no more, at
 * the clock's rate and from its time origin. */
static void TheFrameClockFollowsTheSound(void) {
    current = "clock";
    lumagrove_visualiser* v = Make(Small());
    if (!v) return;
    lumagrove_frame_clock clock;
    memset(&clock, 0, sizeof clock);
    clock.fps_num = 20;
    clock.fps_den = 2; /* 10 frames a second */
    clock.time_origin = 100.0;
    lumagrove_frame frame;
    CHECK(!lumagrove_next_frame(v, &clock, &frame));
    int64_t count = 0;
    float* tone = LeftTone(1.01, &count); /* 1.01 s: frames 0..10, 11 in all */
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    int due = 0;
    while (lumagrove_next_frame(v, &clock, &frame)) {
        CHECK(frame.index == due && fabs(frame.sound_time - due * 0.1) < 1e-9);
        CHECK(fabs(frame.time - (100.0 + frame.sound_time)) < 1e-9);
        CHECK(lumagrove_position_at(v, frame.sound_time) + lumagrove_held_back(v) <= count);
        ++due;
    }
    CHECK(due > 0 && due < 11); /* the last frames wait for sound past them */
    CHECK(clock.next == due);
    clock.ending = 1;
    while (lumagrove_next_frame(v, &clock, &frame)) ++due;
    CHECK(due == 11);
    CHECK(lumagrove_position_at(v, 0.5) == kRate / 2);
    clock.next = -1;
    CHECK(!lumagrove_next_frame(v, &clock, &frame));
    CHECK(!lumagrove_next_frame(NULL, &clock, &frame));
    free(tone);
    lumagrove_destroy(v);
}

/* Live sound that stops is counted on as silence, as time passes: the
 * newest levels decay. A visualiser told never to do so keeps its sound. */
static void LiveSoundThatStopsDecaysToSilence(void) {
    current = "quiet";
    lumagrove_visualiser_desc desc = Small();
    desc.sound.mode = LUMAGROVE_SOUND_LIVE;
    desc.sound.quiet_seconds = 0.05;
    lumagrove_visualiser* v = Make(desc);
    desc.sound.quiet_seconds = -1.0;
    lumagrove_visualiser* kept = Make(desc);
    if (!v || !kept) return;
    int64_t count = 0;
    float* tone = LeftTone(0.5, &count);
    CHECK_RESULT(lumagrove_push_float(v, tone, count), LUMAGROVE_OK);
    CHECK_RESULT(lumagrove_push_float(kept, tone, count), LUMAGROVE_OK);
    float levels[16];
    lumagrove_frame frame = {0, 0.0, (double)count / kRate};
    CHECK_RESULT(lumagrove_frame_levels(v, &frame, levels), LUMAGROVE_OK);
    CHECK(levels[0] > 0.3f);
    /* Waits for half a second of silence to be counted in; a minute without
     * is a failure. */
    struct timespec began, now;
    clock_gettime(CLOCK_MONOTONIC, &began);
    now = began;
    while (lumagrove_sound_end(v) < count + kRate / 2 && now.tv_sec - began.tv_sec < 60) {
        const struct timespec pause = {0, 1000000};
        nanosleep(&pause, NULL);
        clock_gettime(CLOCK_MONOTONIC, &now);
    }
    CHECK(lumagrove_sound_end(v) >= count + kRate / 2);
    CHECK(lumagrove_sound_end(kept) == count);
    /* A second of frames at the newest sound of each: levels fall by the frames' time. */
    float still[16];
    for (frame.index = 1; frame.index < 30; ++frame.index) {
        frame.time = frame.index / 30.0;
        frame.sound_time = (double)lumagrove_sound_end(v) / kRate;
        CHECK_RESULT(lumagrove_frame_levels(v, &frame, levels), LUMAGROVE_OK);
        frame.sound_time = (double)lumagrove_sound_end(kept) / kRate;
        CHECK_RESULT(lumagrove_frame_levels(kept, &frame, still), LUMAGROVE_OK);
    }
    CHECK(levels[0] < 0.05f);
    CHECK(still[0] > 0.3f);
    desc.sound.quiet_seconds = 1e9;
    lumagrove_visualiser* refused = NULL;
    CHECK_RESULT(lumagrove_create(&desc, &refused), LUMAGROVE_ERROR_ARGUMENT);
    free(tone);
    lumagrove_destroy(v);
    lumagrove_destroy(kept);
}

int main(void) {
    VersionsAndTexts();
    ZeroIsTheDefault();
    BadDescsAreRefusedWithAReason();
    AFrameDrawnToMemoryInEveryLayout();
    LevelsFollowTheSoundThroughAGapAndARestart();
    LiveSoundAndANewFormat();
    TheFrameClockFollowsTheSound();
    LiveSoundThatStopsDecaysToSilence();
    if (failures) fprintf(stderr, "%d failed checks\n", failures);
    return failures ? 1 : 0;
}
