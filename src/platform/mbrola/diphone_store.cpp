// The engine voice's diphone database: reading, checking and writing its file.
#include "platform/mbrola/diphone_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace falatro {

namespace {

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool IsStorePhonemeName(std::string_view name) {
  if (name.empty() || name.size() > kDiphoneStoreNameBytes) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '2' || c == '@' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool IndexDiphoneStore(DiphoneStore* store, std::string* error) {
  size_t n = store->Phonemes.size();
  store->Index.assign(n * n, -1);
  for (size_t u = 0; u < store->Units.size(); ++u) {
    const DiphoneUnit& unit = store->Units[u];
    if (unit.Left >= n || unit.Right >= n) return Fail(error, "unit " + std::to_string(u) + " names no phoneme");
    int32_t& slot = store->Index[size_t(unit.Left) * n + unit.Right];
    if (slot >= 0) {
      return Fail(error, "two units for " + store->Phonemes[unit.Left] + "-" + store->Phonemes[unit.Right]);
    }
    slot = int32_t(u);
  }
  return true;
}

bool ParseDiphoneStore(const uint8_t* data, size_t size, DiphoneStore* store, std::string* error) {
  *store = DiphoneStore{};
  if (size < kDiphoneStoreHeader || memcmp(data, kDiphoneStoreMagic, 8) != 0) {
    return Fail(error, "not an engine voice database");
  }
  uint32_t version = Get32(data + 8);
  if (version != 1) return Fail(error, "database version " + std::to_string(version) + " is not known");
  store->Rate = Get32(data + 12);
  store->Period = Get32(data + 16);
  uint64_t phonemes = Get32(data + 20), units = Get32(data + 24), marks = Get32(data + 28),
           samples = Get32(data + 32);
  if (store->Rate < 4000 || store->Rate > 96000) return Fail(error, "sample rate out of range");
  if (store->Period < 8 || store->Period > store->Rate / 40) return Fail(error, "pitch period out of range");
  if (phonemes == 0 || phonemes > 1024) return Fail(error, "phoneme count out of range");
  uint64_t need = kDiphoneStoreHeader + phonemes * kDiphoneStoreNameBytes + units * kDiphoneStoreUnitBytes +
                  marks * 4 + samples * 2;
  if (need != size) return Fail(error, "file size does not match its counts");
  const uint8_t* p = data + kDiphoneStoreHeader;
  for (uint64_t i = 0; i < phonemes; ++i, p += kDiphoneStoreNameBytes) {
    std::string name(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), kDiphoneStoreNameBytes));
    if (!IsStorePhonemeName(name)) return Fail(error, "bad phoneme name at " + std::to_string(i));
    for (const auto& other : store->Phonemes) {
      if (other == name) return Fail(error, "phoneme " + name + " twice");
    }
    store->Phonemes.push_back(name);
  }
  store->Units.resize(units);
  for (auto& u : store->Units) {
    u.Left = Get16(p);
    u.Right = Get16(p + 2);
    u.DataOffset = Get32(p + 4);
    u.DataLength = Get32(p + 8);
    u.Begin = Get32(p + 12);
    u.Boundary = Get32(p + 16);
    u.End = Get32(p + 20);
    u.FirstMark = Get32(p + 24);
    u.MarkCount = Get32(p + 28);
    p += kDiphoneStoreUnitBytes;
  }
  store->Marks.resize(marks);
  for (auto& m : store->Marks) {
    m = Get32(p);
    p += 4;
  }
  store->Samples.resize(samples);
  for (auto& s : store->Samples) {
    s = int16_t(Get16(p));
    p += 2;
  }
  for (size_t i = 0; i < store->Units.size(); ++i) {
    const DiphoneUnit& u = store->Units[i];
    std::string where = "unit " + std::to_string(i) + ": ";
    if (uint64_t(u.DataOffset) + u.DataLength > samples) return Fail(error, where + "samples out of range");
    if (!(u.Begin <= u.Boundary && u.Boundary <= u.End && u.End <= u.DataLength)) {
      return Fail(error, where + "middles and boundary out of order");
    }
    if (u.MarkCount == 0 || uint64_t(u.FirstMark) + u.MarkCount > marks) return Fail(error, where + "marks out of range");
    uint32_t previous = 0;
    for (uint32_t m = 0; m < u.MarkCount; ++m) {
      uint32_t pos = store->Marks[u.FirstMark + m] & ~kMarkVoiced;
      if (pos >= u.DataLength || (m > 0 && pos <= previous)) return Fail(error, where + "pitch marks out of order");
      previous = pos;
    }
  }
  return IndexDiphoneStore(store, error);
}

bool LoadDiphoneStore(const std::string& path, DiphoneStore* store, std::string* error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return Fail(error, "cannot open " + path);
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  bool read_error = ferror(f) != 0;
  fclose(f);
  if (read_error) return Fail(error, "cannot read " + path);
  return ParseDiphoneStore(bytes.data(), bytes.size(), store, error);
}

std::vector<uint8_t> SerializeDiphoneStore(const DiphoneStore& store) {
  std::vector<uint8_t> b;
  b.reserve(kDiphoneStoreHeader + store.Samples.size() * 2 + store.Marks.size() * 4 + store.Units.size() * 32);
  b.resize(8);
  memcpy(b.data(), kDiphoneStoreMagic, 8);
  Put32(b, 1);
  Put32(b, store.Rate);
  Put32(b, store.Period);
  Put32(b, uint32_t(store.Phonemes.size()));
  Put32(b, uint32_t(store.Units.size()));
  Put32(b, uint32_t(store.Marks.size()));
  Put32(b, uint32_t(store.Samples.size()));
  for (const auto& name : store.Phonemes) {
    size_t at = b.size();
    b.resize(at + kDiphoneStoreNameBytes, 0);
    memcpy(b.data() + at, name.data(), std::min(name.size(), kDiphoneStoreNameBytes));
  }
  for (const auto& u : store.Units) {
    Put16(b, u.Left);
    Put16(b, u.Right);
    for (uint32_t v : {u.DataOffset, u.DataLength, u.Begin, u.Boundary, u.End, u.FirstMark, u.MarkCount}) Put32(b, v);
  }
  for (uint32_t m : store.Marks) Put32(b, m);
  for (int16_t s : store.Samples) Put16(b, uint16_t(s));
  return b;
}

int FindStorePhoneme(const DiphoneStore& store, std::string_view name) {
  for (size_t i = 0; i < store.Phonemes.size(); ++i) {
    if (store.Phonemes[i] == name) return int(i);
  }
  return -1;
}

int FindStoreUnit(const DiphoneStore& store, int left, int right) {
  size_t n = store.Phonemes.size();
  if (left < 0 || right < 0 || size_t(left) >= n || size_t(right) >= n || store.Index.size() != n * n) return -1;
  return store.Index[size_t(left) * n + size_t(right)];
}

}  // namespace falatro
