// Binding an MBROLA-compatible synthesizer library at run time by its 23 entry names.
#pragma once

#include <string>

#include "platform/mbrola/mbrola_api.h"

namespace falatro {

/// The bound library (one instance, Mbrola): its handle and every entry point, in binding order.
struct MbrolaBinding {
  void* Handle = nullptr;
  std::string Path;  ///< the library that was loaded
  MbrInitFn init_MBR = nullptr;
  MbrInitRenameFn init_rename_MBR = nullptr;
  MbrWriteFn write_MBR = nullptr;
  MbrFlushFn flush_MBR = nullptr;
  MbrReadFn read_MBR = nullptr;
  MbrReadTypeFn readtype_MBR = nullptr;
  MbrCloseFn close_MBR = nullptr;
  MbrResetFn reset_MBR = nullptr;
  MbrLastErrorFn lastError_MBR = nullptr;
  MbrLastErrorStrFn lastErrorStr_MBR = nullptr;
  MbrSetNoErrorFn setNoError_MBR = nullptr;
  MbrGetNoErrorFn getNoError_MBR = nullptr;
  MbrSetFreqFn setFreq_MBR = nullptr;
  MbrGetFreqFn getFreq_MBR = nullptr;
  MbrSetVolumeRatioFn setVolumeRatio_MBR = nullptr;
  MbrGetVolumeRatioFn getVolumeRatio_MBR = nullptr;
  MbrGetVersionFn getVersion_MBR = nullptr;
  MbrGetDatabaseInfoFn getDatabaseInfo_MBR = nullptr;
  MbrSetParserFn setParser_MBR = nullptr;
  MbrInitPhoneFn init_Phone = nullptr;
  MbrResetPhoneFn reset_Phone = nullptr;
  MbrClosePhoneFn close_Phone = nullptr;
  MbrAppendF0PhoneFn appendf0_Phone = nullptr;
};
extern MbrolaBinding Mbrola;

/// The 23 entry names, in the order they are bound.
extern const char* const kMbrolaEntryNames[23];

/// File name of the project's own library as built.
constexpr const char* kOwnMbrolaLibraryName = "libfalatro-mbrola.so";

/// The project's own library: the copy built with the program (its absolute build path, when it is
/// there), else the one installed beside the engine voice ($NARRIX_ROOT/zanvel/velartts).
std::string OwnMbrolaLibraryPath();

/// Loads the library at path (empty: OwnMbrolaLibraryPath()) and binds all 23 names. Any name missing
/// unloads it again. A library already bound is unloaded first. False (*error says why) on failure,
/// with every entry point null.
bool BindMbrola(const std::string& path, std::string* error = nullptr);
/// Unloads the library (nothing when none is bound) and clears every entry point.
void UnbindMbrola();

}  // namespace falatro
