// Binding an MBROLA-compatible synthesizer library at run time by its 23 entry names.
#include "platform/mbrola/mbrola_binding.h"

#include <dlfcn.h>

#include "base/paths.h"

#ifndef FALATRO_OWN_MBROLA_LIBRARY
#define FALATRO_OWN_MBROLA_LIBRARY ""
#endif

namespace falatro {

MbrolaBinding Mbrola;

const char* const kMbrolaEntryNames[23] = {
    "init_MBR",        "init_rename_MBR",     "write_MBR",          "flush_MBR",          "read_MBR",
    "readtype_MBR",    "close_MBR",           "reset_MBR",          "lastError_MBR",      "lastErrorStr_MBR",
    "setNoError_MBR",  "getNoError_MBR",      "setFreq_MBR",        "getFreq_MBR",        "setVolumeRatio_MBR",
    "getVolumeRatio_MBR", "getVersion_MBR",   "getDatabaseInfo_MBR", "setParser_MBR",     "init_Phone",
    "reset_Phone",     "close_Phone",         "appendf0_Phone"};

namespace {

// The entry point fields in the order of kMbrolaEntryNames.
void** EntrySlots(MbrolaBinding& b, int i) {
  void** slots[23] = {
      reinterpret_cast<void**>(&b.init_MBR),          reinterpret_cast<void**>(&b.init_rename_MBR),
      reinterpret_cast<void**>(&b.write_MBR),         reinterpret_cast<void**>(&b.flush_MBR),
      reinterpret_cast<void**>(&b.read_MBR),          reinterpret_cast<void**>(&b.readtype_MBR),
      reinterpret_cast<void**>(&b.close_MBR),         reinterpret_cast<void**>(&b.reset_MBR),
      reinterpret_cast<void**>(&b.lastError_MBR),     reinterpret_cast<void**>(&b.lastErrorStr_MBR),
      reinterpret_cast<void**>(&b.setNoError_MBR),    reinterpret_cast<void**>(&b.getNoError_MBR),
      reinterpret_cast<void**>(&b.setFreq_MBR),       reinterpret_cast<void**>(&b.getFreq_MBR),
      reinterpret_cast<void**>(&b.setVolumeRatio_MBR), reinterpret_cast<void**>(&b.getVolumeRatio_MBR),
      reinterpret_cast<void**>(&b.getVersion_MBR),    reinterpret_cast<void**>(&b.getDatabaseInfo_MBR),
      reinterpret_cast<void**>(&b.setParser_MBR),     reinterpret_cast<void**>(&b.init_Phone),
      reinterpret_cast<void**>(&b.reset_Phone),       reinterpret_cast<void**>(&b.close_Phone),
      reinterpret_cast<void**>(&b.appendf0_Phone)};
  return slots[i];
}

}  // namespace

std::string OwnMbrolaLibraryPath() {
  std::string built = FALATRO_OWN_MBROLA_LIBRARY;
  if (!built.empty() && FileExists(built)) return built;
  return JoinPath(JoinPath(NarrixRoot(), "zanvel/velartts"), kOwnMbrolaLibraryName);
}

bool BindMbrola(const std::string& path, std::string* error) {
  UnbindMbrola();
  std::string file = path.empty() ? OwnMbrolaLibraryPath() : path;
  // RTLD_LOCAL keeps the library's names out of the program's; RTLD_NOW reports a broken library here.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* why = dlerror();
      *error = "cannot load " + file + (why ? std::string(": ") + why : "");
    }
    return false;
  }
  Mbrola.Handle = handle;
  Mbrola.Path = file;
  for (int i = 0; i < 23; ++i) {
    void* address = dlsym(handle, kMbrolaEntryNames[i]);
    if (!address) {
      if (error) *error = file + " lacks " + kMbrolaEntryNames[i];
      UnbindMbrola();
      return false;
    }
    *EntrySlots(Mbrola, i) = address;
  }
  return true;
}

void UnbindMbrola() {
  if (Mbrola.Handle) dlclose(Mbrola.Handle);
  Mbrola = MbrolaBinding{};
}

}  // namespace falatro
