// The in-memory registry: roots, keys with their sub-keys and typed values.
// Names compare case-insensitively and keep the case they were written with.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/types.h"

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

namespace gt::reg {

// The same limits the system registry has, so that a file never holds what a
// key could not hold and a hostile file cannot nest without bound.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// A registry file larger than this is not loaded, and no write may produce one.
constexpr size_t kMaxFileSize = 64u << 20;

// Upper-cased form of a name, the key of every name comparison.
WideString FoldName(const WideString& Name);

struct RegValue {
  WideString Name;
  TRegDataType Type = rdUnknown;
  WideString Text;          // rdString, rdExpandString
  uint32_t Number = 0;      // rdInteger
  std::vector<Byte> Bytes;  // rdBinary

  // Size in bytes as the registry reports it: strings count their terminator.
  int64_t DataSize() const;
  bool SameData(const RegValue& Other) const;
};

class RegKey {
 public:
  WideString Name;

  RegKey() = default;
  explicit RegKey(WideString AName) : Name(std::move(AName)) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&&) = default;
  RegKey& operator=(RegKey&&) = default;

  // Values in the order they were first written.
  const std::vector<RegValue>& Values() const { return FValues; }
  const RegValue* FindValue(const WideString& ValueName) const;
  // Stores V under its name; the first spelling of an existing name is kept.
  // Returns false when the stored value already equals V.
  bool SetValue(RegValue V);
  bool DeleteValue(const WideString& ValueName);

  // Sub-keys ordered by their folded names.
  const std::map<WideString, std::unique_ptr<RegKey>>& SubKeys() const { return FSubKeys; }
  RegKey* FindSubKey(const WideString& KeyName);
  const RegKey* FindSubKey(const WideString& KeyName) const;
  // Returns the existing sub-key of that name or a new one.
  RegKey& AddSubKey(const WideString& KeyName);
  bool DeleteSubKey(const WideString& KeyName);
  bool Empty() const { return FValues.empty() && FSubKeys.empty(); }

 private:
  std::vector<RegValue> FValues;
  std::unordered_map<WideString, size_t> FValueIndex;  // folded name -> FValues index
  std::map<WideString, std::unique_ptr<RegKey>> FSubKeys;
};

enum RegRoot { rrClassesRoot, rrCurrentUser, rrLocalMachine, rrUsers, rrCount };

// The file's names for the roots, in RegRoot order.
extern const char* const kRootNames[rrCount];

struct RegTree {
  RegKey Roots[rrCount];

  // The key at Path below a root, or null.
  RegKey* Find(RegRoot Root, const std::vector<WideString>& Path);
  const RegKey* Find(RegRoot Root, const std::vector<WideString>& Path) const;
  void Clear();
};

}  // namespace gt::reg
