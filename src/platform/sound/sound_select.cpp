// Choosing the sound device: sdl, null or file:PATH, falling back to null when the choice cannot play.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "console/console_sound.h"
#include "platform/sound/sound_backends.h"

namespace falatro {

namespace {

std::unique_ptr<SoundBackend> chosen;

}  // namespace

bool OpenSoundDevice(const std::string& requested, std::string* error) {
  std::string name = requested;
  if (name.empty()) {
    const char* env = std::getenv("FALATRO_AUDIO");
    name = (env && *env) ? env : "sdl";
  }
  std::string why;
  std::unique_ptr<SoundBackend> backend;
  if (name == "null") {
    backend = std::make_unique<NullSoundBackend>();
  } else if (name.rfind("file:", 0) == 0 && name.size() > 5) {
    auto file = std::make_unique<FileSoundBackend>();
    if (file->Create(name.substr(5), &why)) backend = std::move(file);
  } else if (name == "sdl") {
    backend = MakeSdlSoundBackend(&why);
  } else {
    why = "unknown sound device \"" + name + "\" (use sdl, null or file:PATH)";
  }
  bool ok = backend != nullptr;
  if (!ok) {
    std::fprintf(stderr, "falatro: %s; playing no sound (null device)\n", why.c_str());
    if (error) *error = why;
    backend = std::make_unique<NullSoundBackend>();
  }
  SetSoundBackend(backend.get());
  chosen = std::move(backend);
  SetConsoleSoundSink(LayerConsoleSoundSink());
  return ok;
}

void CloseSoundDevice() {
  SetConsoleSoundSink(nullptr);
  SetSoundBackend(nullptr);
  chosen.reset();
}

}  // namespace falatro
