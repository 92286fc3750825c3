// TRegistry: keys and typed values under the registry roots, kept in the user's
// registry file (see registry_store.h). Behaves as the class library's registry
// object: paths with a leading "\" start at the root, others at the open key;
// names compare without case and keep the case they were written with; the
// default value has the empty name.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/dateutils.h"
#include "platform/base/sysutils.h"
#include "platform/base/types.h"
#include "platform/registry/registry_tree.h"

namespace gt::reg {
class RegStore;
}

using HKEY = uintptr_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

// Access rights of an open key.
constexpr Cardinal KEY_QUERY_VALUE = 0x0001;
constexpr Cardinal KEY_SET_VALUE = 0x0002;
constexpr Cardinal KEY_CREATE_SUB_KEY = 0x0004;
constexpr Cardinal KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr Cardinal KEY_NOTIFY = 0x0010;
constexpr Cardinal KEY_CREATE_LINK = 0x0020;
constexpr Cardinal KEY_READ = 0x20019;
constexpr Cardinal KEY_WRITE = 0x20006;
constexpr Cardinal KEY_EXECUTE = KEY_READ;
constexpr Cardinal KEY_ALL_ACCESS = 0xF003F;

GT_DECLARE_EXCEPTION(ERegistryException, Exception)

struct TRegDataInfo {
  TRegDataType RegData = rdUnknown;
  Integer DataSize = 0;
};

class TRegistry : public TObject {
 public:
  // Root HKEY_CURRENT_USER, access KEY_ALL_ACCESS. The file is the one
  // GT_REGISTRY_FILE or the user's configuration folder names at creation.
  TRegistry();
  explicit TRegistry(Cardinal AAccess);
  ~TRegistry() override;

  HKEY RootKey() const { return FRootKey; }
  // Changing the root closes the open key.
  void SetRootKey(HKEY Value);
  // Requested rights for the keys opened from now on.
  Cardinal Access() const { return FAccess; }
  void SetAccess(Cardinal Value) { FAccess = Value; }
  // Path of the open key without a leading "\", as it was asked for; empty when closed.
  const WideString& CurrentPath() const { return FCurrentPath; }

  // Opens Key (creating it and its missing parents when CanCreate) with Access.
  bool OpenKey(const WideString& Key, bool CanCreate);
  // Opens an existing key with KEY_READ; Access stays KEY_READ afterwards, as
  // with the class library, so later opens are read-only too until SetAccess.
  bool OpenKeyReadOnly(const WideString& Key);
  void CloseKey();
  // Creates Key; true when it exists afterwards. Raises ERegistryException
  // "Failed to create key <Key>" when it cannot be created.
  bool CreateKey(const WideString& Key);
  // Deletes Key with all its sub-keys and values; false when it does not exist
  // or Access does not allow writing.
  bool DeleteKey(const WideString& Key);
  bool DeleteValue(const WideString& Name);
  bool KeyExists(const WideString& Key);
  bool ValueExists(const WideString& Name);
  // Names of the open key's sub-keys (ordered without case) and values (in the
  // order they were created). Empty when no key is open.
  void GetKeyNames(std::vector<WideString>& Strings);
  void GetValueNames(std::vector<WideString>& Strings);

  bool GetDataInfo(const WideString& ValueName, TRegDataInfo& Value);
  // Size in bytes (strings count their terminating zero); -1 when missing.
  Integer GetDataSize(const WideString& ValueName);
  // rdUnknown when missing.
  TRegDataType GetDataType(const WideString& ValueName);

  // Readers raise ERegistryException "Failed to get data for '<Name>'" when the
  // value is missing and "Invalid data type for '<Name>'" when it has another
  // type. Like the class library, ReadString and ReadExpandString give an empty
  // text for a missing value, and ReadBinaryData gives 0.
  WideString ReadString(const WideString& Name);
  WideString ReadExpandString(const WideString& Name);
  Integer ReadInteger(const WideString& Name);
  bool ReadBool(const WideString& Name);
  Double ReadFloat(const WideString& Name);
  TDateTime ReadDateTime(const WideString& Name);
  // Copies the value into Buffer and returns its size; raises when it does not
  // fit into BufSize bytes.
  Integer ReadBinaryData(const WideString& Name, void* Buffer, Integer BufSize);

  // Writers raise ERegistryException "Failed to set data for '<Name>'" when
  // no key is open, the key was opened read-only or was deleted, or the file
  // cannot be written.
  void WriteString(const WideString& Name, const WideString& Value);
  void WriteExpandString(const WideString& Name, const WideString& Value);
  void WriteInteger(const WideString& Name, Integer Value);
  // Stored as the integer 0 or 1.
  void WriteBool(const WideString& Name, bool Value);
  // Stored as 8 bytes of binary data, the double's own representation.
  void WriteFloat(const WideString& Name, Double Value);
  void WriteDateTime(const WideString& Name, TDateTime Value);
  void WriteBinaryData(const WideString& Name, const void* Buffer, Integer BufSize);

 private:
  bool ResolveKey(const WideString& Key, std::vector<WideString>& Path, bool& Relative) const;
  bool CreatePath(const std::vector<WideString>& Path, bool Relative);
  bool GetValue(const WideString& Name, gt::reg::RegValue& Out);
  void PutValue(gt::reg::RegValue V);
  bool RootIndex(gt::reg::RegRoot& Out) const;
  void ChangeKey(std::vector<WideString> Path, const WideString& Key, bool Relative, Cardinal Rights);

  std::shared_ptr<gt::reg::RegStore> FStore;
  HKEY FRootKey = HKEY_CURRENT_USER;
  Cardinal FAccess = KEY_ALL_ACCESS;
  bool FOpen = false;
  std::vector<WideString> FKeyPath;  // components of the open key below the root
  Cardinal FKeyAccess = 0;           // rights the open key was opened with
  WideString FCurrentPath;
};
