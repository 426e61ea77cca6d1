// A fake synthesizer library with the 23 entry names: it records every call, makes a chosen number
// of samples per phoneme line (each sample the line's number), hands them out in reads of a chosen
// size, and reports an error for lines holding a chosen word. Built without one entry name
// (FAKE_MBROLA_INCOMPLETE) it stands for a library that cannot be bound.
#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Calls;
std::deque<short> Pending;
int SamplesPerLine = 100, ReadPiece = 16000, InitResult = 0, Error = 0, LineNumber = 0;
std::string ErrorWord = "\x01";

}  // namespace

#define FAKE extern "C" __attribute__((visibility("default")))

// Test controls.
FAKE std::vector<std::string>* fake_mbrola_calls() { return &Calls; }
FAKE void fake_mbrola_configure(int samples_per_line, int read_piece, int init_result, const char* error_word) {
  SamplesPerLine = samples_per_line;
  ReadPiece = read_piece;
  InitResult = init_result;
  LineNumber = 0;
  ErrorWord = error_word && *error_word ? error_word : "\x01";
}

FAKE int init_MBR(char* path) {
  Calls.push_back(std::string("init_MBR ") + (path ? path : ""));
  return InitResult;
}
FAKE int init_rename_MBR(char*, char*, char*) { return 0; }
FAKE int write_MBR(char* line) {
  std::string text = line ? line : "";
  Calls.push_back("write_MBR " + text);
  if (text.find(ErrorWord) != std::string::npos) {
    Error = 7;
    return -1;
  }
  ++LineNumber;
  Pending.insert(Pending.end(), size_t(SamplesPerLine), short(LineNumber));
  return 0;
}
FAKE int flush_MBR(void) {
  Calls.push_back("flush_MBR");
  return 0;
}
FAKE int read_MBR(short* buffer, int capacity) {
  Calls.push_back("read_MBR " + std::to_string(capacity));
  int n = std::min({int(Pending.size()), capacity, ReadPiece});
  std::copy(Pending.begin(), Pending.begin() + n, buffer);
  Pending.erase(Pending.begin(), Pending.begin() + n);
  return n;
}
FAKE int readtype_MBR(void*, int, int) { return 0; }
FAKE void close_MBR(void) { Calls.push_back("close_MBR"); }
FAKE int reset_MBR(void) {
  Calls.push_back("reset_MBR");
  Pending.clear();
  Error = 0;
  return 0;
}
FAKE int lastError_MBR(void) { return Error; }
FAKE int lastErrorStr_MBR(char*, int) { return 0; }
FAKE void setNoError_MBR(int v) { Calls.push_back("setNoError_MBR " + std::to_string(v)); }
FAKE int getNoError_MBR(void) { return 1; }
FAKE void setFreq_MBR(int) {}
FAKE int getFreq_MBR(void) { return 16000; }
FAKE void setVolumeRatio_MBR(float) {}
FAKE float getVolumeRatio_MBR(void) { return 1.0f; }
FAKE int getVersion_MBR(char*, int) { return 0; }
FAKE int getDatabaseInfo_MBR(char*, int, int) { return 0; }
FAKE void setParser_MBR(void*) {}
FAKE void* init_Phone(char*, float) { return nullptr; }
FAKE void reset_Phone(void*) {}
#ifndef FAKE_MBROLA_INCOMPLETE
FAKE void close_Phone(void*) {}
#endif
FAKE void appendf0_Phone(void*, float, float) {}
