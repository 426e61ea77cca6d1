// The 23 entry points of an MBROLA-compatible synthesizer library, as the engine binds them by name.
// The project's own library (own_library.cpp) exports exactly these; any library a user names
// instead must export them too.
#pragma once

#include <cstdint>

extern "C" {
typedef int (*MbrInitFn)(char* database_path);                     ///< negative on failure
typedef int (*MbrInitRenameFn)(char* database_path, char* rename, char* clone);
typedef int (*MbrWriteFn)(char* lines);                            ///< phoneme lines; negative on error
typedef int (*MbrFlushFn)(void);
typedef int (*MbrReadFn)(short* buffer, int capacity);             ///< 16-bit samples stored
typedef int (*MbrReadTypeFn)(void* buffer, int capacity, int type);  ///< samples of the given coding
typedef void (*MbrCloseFn)(void);
typedef int (*MbrResetFn)(void);
typedef int (*MbrLastErrorFn)(void);                               ///< 0 when no error is pending
typedef int (*MbrLastErrorStrFn)(char* buffer, int capacity);
typedef void (*MbrSetNoErrorFn)(int no_error);
typedef int (*MbrGetNoErrorFn)(void);
typedef void (*MbrSetFreqFn)(int rate);
typedef int (*MbrGetFreqFn)(void);
typedef void (*MbrSetVolumeRatioFn)(float ratio);
typedef float (*MbrGetVolumeRatioFn)(void);
typedef int (*MbrGetVersionFn)(char* buffer, int capacity);
typedef int (*MbrGetDatabaseInfoFn)(char* buffer, int capacity, int index);
typedef void (*MbrSetParserFn)(void* parser);
typedef void* (*MbrInitPhoneFn)(char* name, float length_ms);
typedef void (*MbrResetPhoneFn)(void* phone);
typedef void (*MbrClosePhoneFn)(void* phone);
typedef void (*MbrAppendF0PhoneFn)(void* phone, float position, float hertz);
}

/// Sample codings readtype_MBR knows.
enum MbrSampleType : int {
  kMbrLinear16 = 0,  ///< signed 16-bit, as read_MBR gives
  kMbrLinear8 = 1,   ///< unsigned 8-bit (128 = zero)
};
