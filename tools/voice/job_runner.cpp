// Making many independent sounds on every core, each kept in a cache so a later run makes only what changed.
#include "job_runner.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "base/paths.h"
#include "install_tree.h"

namespace falatro {

std::string CachePath(const std::string& cache_dir, const std::string& key) {
  std::vector<uint8_t> bytes(key.begin(), key.end());
  // Two different hashes of the key together: 128 bits, so distinct keys never share a file.
  std::vector<uint8_t> salted = bytes;
  salted.insert(salted.begin(), {'v', 'o', 'z'});
  return JoinPath(cache_dir, ContentHash(bytes) + ContentHash(salted) + ".snd");
}

namespace {

int WorkerMain(const std::vector<SoundJob>& jobs, const std::vector<size_t>& mine, const std::string& cache_dir,
               const WorkerSetup& setup, const SoundMaker& make) {
  std::string error;
  if (setup && !setup(&error)) {
    fprintf(stderr, "falatro-voice: %s\n", error.c_str());
    return 1;
  }
  // The generating voice keeps state from one text to the next (its wave phase, its pitch), so each
  // sound is made in a process forked from the freshly started worker: every job then starts from the
  // same state, and its sound does not depend on which jobs came before or on how many workers ran.
  for (size_t i : mine) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<uint8_t> bytes;
      if (!make(jobs[i], &bytes, &error) ||
          !WriteFileAtomically(CachePath(cache_dir, jobs[i].Key), bytes, &error)) {
        fprintf(stderr, "falatro-voice: %s: %s\n", jobs[i].Text.c_str(), error.c_str());
        _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (pid < 0) fprintf(stderr, "falatro-voice: cannot start a process for %s\n", jobs[i].Text.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

bool RunSoundJobs(const std::vector<SoundJob>& jobs, const std::string& cache_dir, int workers,
                  const WorkerSetup& setup, const SoundMaker& make, std::vector<std::vector<uint8_t>>* results,
                  JobReport* report, std::string* error) {
  if (!MakeDirectories(cache_dir, error)) return false;
  std::vector<size_t> missing;
  for (size_t i = 0; i < jobs.size(); ++i)
    if (!FileExists(CachePath(cache_dir, jobs[i].Key))) missing.push_back(i);
  report->Cached = jobs.size() - missing.size();
  report->Made = missing.size();
  if (workers < 1) workers = 1;
  if (size_t(workers) > missing.size()) workers = int(missing.size());
  std::vector<pid_t> children;
  fflush(nullptr);
  // Hand freed memory back before forking: every sound is made in a process forked from a worker, and
  // a fork costs in proportion to the memory mapped.
  malloc_trim(0);
  for (int w = 0; w < workers; ++w) {
    std::vector<size_t> mine;
    for (size_t k = size_t(w); k < missing.size(); k += size_t(workers)) mine.push_back(missing[k]);
    pid_t pid = fork();
    if (pid == 0) _exit(WorkerMain(jobs, mine, cache_dir, setup, make));
    if (pid < 0) {
      if (error) *error = "cannot start a worker process";
      for (pid_t c : children) waitpid(c, nullptr, 0);
      return false;
    }
    children.push_back(pid);
  }
  bool ok = true;
  for (pid_t c : children) {
    int status = 0;
    if (waitpid(c, &status, 0) != c || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
  }
  if (!ok) {
    if (error) *error = "a worker failed to make its sounds";
    return false;
  }
  results->assign(jobs.size(), {});
  for (size_t i = 0; i < jobs.size(); ++i)
    if (!ReadWholeFile(CachePath(cache_dir, jobs[i].Key), &(*results)[i])) {
      if (error) *error = "cannot read the cached sound of " + jobs[i].Text;
      return false;
    }
  return true;
}

}  // namespace falatro
