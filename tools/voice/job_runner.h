// Making many independent sounds on every core, each kept in a cache so a later run makes only what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace falatro {

/// One sound to make: Key names its result in the cache (it must change whenever the result would).
struct SoundJob {
  std::string Key;
  std::string Text;   ///< what to say (meaning set by the maker)
  int Kind = 0;       ///< maker-defined
};

/// Makes the bytes of one job in a worker process; false when it cannot.
using SoundMaker = std::function<bool(const SoundJob& job, std::vector<uint8_t>* bytes, std::string* error)>;
/// Runs once in each worker before its first job (starting the generating voice there).
using WorkerSetup = std::function<bool(std::string* error)>;

/// What RunSoundJobs did.
struct JobReport {
  size_t Made = 0;      ///< jobs made in this run
  size_t Cached = 0;    ///< jobs taken from the cache
};

/// File name of a job's result in the cache directory (a hash of its key).
std::string CachePath(const std::string& cache_dir, const std::string& key);

/// Gives every job's bytes in *results (same order as jobs). Jobs whose result is in cache_dir are read
/// from it; the others are made by `workers` forked processes (each runs setup once, then every
/// workers-th missing job) and stored in the cache through a temporary name. Returns false and sets
/// *error when a worker fails or a result cannot be stored or read.
bool RunSoundJobs(const std::vector<SoundJob>& jobs, const std::string& cache_dir, int workers,
                  const WorkerSetup& setup, const SoundMaker& make, std::vector<std::vector<uint8_t>>* results,
                  JobReport* report, std::string* error);

}  // namespace falatro
