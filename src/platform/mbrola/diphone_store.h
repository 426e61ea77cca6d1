// The engine voice's diphone database: units cut from a flat-pitch voice, their pitch marks and samples,
// in one little-endian file (layout in docs/engine-voice.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace falatro {

constexpr char kDiphoneStoreMagic[9] = "FALDIF01";
constexpr size_t kDiphoneStoreHeader = 36;     ///< magic, then seven 32-bit numbers
constexpr size_t kDiphoneStoreNameBytes = 8;   ///< each phoneme name, zero-padded
constexpr size_t kDiphoneStoreUnitBytes = 32;  ///< each unit record
constexpr uint32_t kMarkVoiced = 0x80000000u;  ///< high bit of a pitch mark: the period is voiced

/// One diphone: the stored samples run from the middle of the left phoneme (minus a margin) to the
/// middle of the right one (plus a margin). Positions are counted in the unit's own stored samples.
struct DiphoneUnit {
  uint16_t Left = 0, Right = 0;  ///< phoneme indexes
  uint32_t DataOffset = 0;       ///< first stored sample in DiphoneStore::Samples
  uint32_t DataLength = 0;       ///< stored samples, margins included
  uint32_t Begin = 0;            ///< middle of the left phoneme
  uint32_t Boundary = 0;         ///< where the right phoneme starts
  uint32_t End = 0;              ///< middle of the right phoneme
  uint32_t FirstMark = 0;        ///< first of its pitch marks in DiphoneStore::Marks
  uint32_t MarkCount = 0;
};

/// A whole database in memory.
struct DiphoneStore {
  uint32_t Rate = 16000;    ///< samples per second
  uint32_t Period = 0;      ///< the voice's pitch period in samples (flat pitch): grain half-width
  std::vector<std::string> Phonemes;
  std::vector<DiphoneUnit> Units;
  std::vector<uint32_t> Marks;   ///< position in the unit | kMarkVoiced; ascending within a unit
  std::vector<int16_t> Samples;
  /// Built by IndexDiphoneStore: unit index of (left, right) at left * Phonemes.size() + right, or -1.
  std::vector<int32_t> Index;
};

/// Checks every count, offset, name and mark of the bytes of a database file and fills *store (index
/// built). False with *error naming the first fault; nothing read past size.
bool ParseDiphoneStore(const uint8_t* data, size_t size, DiphoneStore* store, std::string* error);
/// Reads and parses a database file.
bool LoadDiphoneStore(const std::string& path, DiphoneStore* store, std::string* error);
/// The bytes of a database file (the writer used by the voice generator and by tests).
std::vector<uint8_t> SerializeDiphoneStore(const DiphoneStore& store);
/// Rebuilds store->Index from the units; false when two units share a pair or an index is out of range.
bool IndexDiphoneStore(DiphoneStore* store, std::string* error = nullptr);

/// Index of a phoneme name (exact match), -1 when the database has none.
int FindStorePhoneme(const DiphoneStore& store, std::string_view name);
/// Index of the unit joining two phonemes, -1 when the database lacks it (or an index is -1).
int FindStoreUnit(const DiphoneStore& store, int left, int right);
/// Whether name is a valid phoneme name: 1 to 8 characters, letters, "2", "@" and "_" only.
bool IsStorePhonemeName(std::string_view name);

}  // namespace falatro
