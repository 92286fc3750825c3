// TRegistry over the user's registry file.
#include "platform/registry/registry.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/registry/registry_store.h"

using gt::reg::RegChange;
using gt::reg::RegKey;
using gt::reg::RegRoot;
using gt::reg::RegStore;
using gt::reg::RegTree;
using gt::reg::RegValue;

namespace {

[[noreturn]] void RaiseGetFailed(const WideString& Name) {
  throw ERegistryException(W("Failed to get data for '") + Name + u"'");
}
[[noreturn]] void RaiseInvalidType(const WideString& Name) {
  throw ERegistryException(W("Invalid data type for '") + Name + u"'");
}
[[noreturn]] void RaiseSetFailed(const WideString& Name) {
  throw ERegistryException(W("Failed to set data for '") + Name + u"'");
}

std::vector<WideString> Prefix(const std::vector<WideString>& Path, size_t Length) {
  return std::vector<WideString>(Path.begin(), Path.begin() + static_cast<std::ptrdiff_t>(Length));
}

WideString TextUpToZero(const WideString& Text) {
  size_t zero = Text.find(u'\0');
  return zero == WideString::npos ? Text : Text.substr(0, zero);
}

}  // namespace

TRegistry::TRegistry() : FStore(RegStore::ForPath(RegStore::DefaultPath())) {}

TRegistry::TRegistry(Cardinal AAccess) : TRegistry() { FAccess = AAccess; }

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY Value) {
  if (Value == FRootKey) return;
  FRootKey = Value;
  CloseKey();
}

bool TRegistry::RootIndex(RegRoot& Out) const {
  switch (FRootKey) {
    case HKEY_CLASSES_ROOT: Out = gt::reg::rrClassesRoot; return true;
    case HKEY_CURRENT_USER: Out = gt::reg::rrCurrentUser; return true;
    case HKEY_LOCAL_MACHINE: Out = gt::reg::rrLocalMachine; return true;
    case HKEY_USERS: Out = gt::reg::rrUsers; return true;
    default: return false;
  }
}

bool TRegistry::ResolveKey(const WideString& Key, std::vector<WideString>& Path, bool& Relative) const {
  Relative = Key.empty() || Key[0] != u'\\';
  WideString rest = Relative ? Key : Key.substr(1);
  Path.clear();
  if (Relative && FOpen) Path = FKeyPath;
  if (rest.empty()) return true;
  if (rest.back() == u'\\') rest.pop_back();  // one trailing separator is harmless
  size_t start = 0;
  for (;;) {
    size_t end = rest.find(u'\\', start);
    WideString name = rest.substr(start, end == WideString::npos ? WideString::npos : end - start);
    if (name.empty() || name.size() > gt::reg::kMaxKeyNameLength) return false;
    Path.push_back(std::move(name));
    if (Path.size() > gt::reg::kMaxKeyDepth) return false;
    if (end == WideString::npos) return true;
    start = end + 1;
  }
}

bool TRegistry::CreatePath(const std::vector<WideString>& Path, bool Relative) {
  RegRoot root;
  if (!RootIndex(root)) return false;
  const bool fromOpenKey = Relative && FOpen;
  // Creating a sub-key needs that right on the key it is created under.
  const Cardinal baseRights = fromOpenKey ? FKeyAccess : KEY_ALL_ACCESS;
  if (!(baseRights & KEY_CREATE_SUB_KEY)) return false;
  const size_t baseLength = fromOpenKey ? FKeyPath.size() : 0;
  const std::vector<WideString> base = Prefix(Path, baseLength);
  return FStore->Modify([&](RegTree& Tree) {
    RegKey* key = Tree.Find(root, base);
    if (!key) return RegChange::Failed;  // the open key was deleted meanwhile
    bool changed = false;
    for (size_t i = baseLength; i < Path.size(); ++i) {
      RegKey* next = key->FindSubKey(Path[i]);
      if (!next) {
        next = &key->AddSubKey(Path[i]);
        changed = true;
      }
      key = next;
    }
    return changed ? RegChange::Changed : RegChange::Unchanged;
  });
}

void TRegistry::ChangeKey(std::vector<WideString> Path, const WideString& Key, bool Relative,
                          Cardinal Rights) {
  WideString current = Relative ? Key : Key.substr(1);
  if (FOpen && Relative) current = FCurrentPath + u"\\" + current;
  FOpen = true;
  FKeyPath = std::move(Path);
  FKeyAccess = Rights;
  FCurrentPath = std::move(current);
}

bool TRegistry::OpenKey(const WideString& Key, bool CanCreate) {
  RegRoot root;
  std::vector<WideString> path;
  bool relative;
  if (!RootIndex(root) || !ResolveKey(Key, path, relative)) return false;
  bool exists = false;
  FStore->Read([&](const RegTree& Tree) { exists = Tree.Find(root, path) != nullptr; });
  if (!exists && (!CanCreate || !CreatePath(path, relative))) return false;
  ChangeKey(std::move(path), Key, relative, FAccess);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const WideString& Key) {
  RegRoot root;
  std::vector<WideString> path;
  bool relative;
  if (!RootIndex(root) || !ResolveKey(Key, path, relative)) return false;
  bool exists = false;
  FStore->Read([&](const RegTree& Tree) { exists = Tree.Find(root, path) != nullptr; });
  if (!exists) return false;
  FAccess = KEY_READ;
  ChangeKey(std::move(path), Key, relative, KEY_READ);
  return true;
}

void TRegistry::CloseKey() {
  FOpen = false;
  FKeyPath.clear();
  FKeyAccess = 0;
  FCurrentPath.clear();
}

bool TRegistry::CreateKey(const WideString& Key) {
  RegRoot root;
  std::vector<WideString> path;
  bool relative;
  if (!RootIndex(root) || !ResolveKey(Key, path, relative))
    throw ERegistryException(W("Failed to create key ") + Key);
  bool exists = false;
  FStore->Read([&](const RegTree& Tree) { exists = Tree.Find(root, path) != nullptr; });
  if (!exists && !CreatePath(path, relative))
    throw ERegistryException(W("Failed to create key ") + Key);
  return true;
}

bool TRegistry::DeleteKey(const WideString& Key) {
  RegRoot root;
  std::vector<WideString> path;
  bool relative;
  if (!RootIndex(root) || !ResolveKey(Key, path, relative)) return false;
  // Neither a root nor the key the path starts from is deleted through an empty name.
  const size_t baseLength = relative && FOpen ? FKeyPath.size() : 0;
  if (path.size() <= baseLength) return false;
  if (!(FAccess & KEY_SET_VALUE)) return false;
  const std::vector<WideString> parentPath = Prefix(path, path.size() - 1);
  return FStore->Modify([&](RegTree& Tree) {
    RegKey* parent = Tree.Find(root, parentPath);
    if (!parent || !parent->DeleteSubKey(path.back())) return RegChange::Failed;
    return RegChange::Changed;
  });
}

bool TRegistry::DeleteValue(const WideString& Name) {
  RegRoot root;
  if (!FOpen || !(FKeyAccess & KEY_SET_VALUE) || !RootIndex(root)) return false;
  return FStore->Modify([&](RegTree& Tree) {
    RegKey* key = Tree.Find(root, FKeyPath);
    if (!key || !key->DeleteValue(Name)) return RegChange::Failed;
    return RegChange::Changed;
  });
}

bool TRegistry::KeyExists(const WideString& Key) {
  RegRoot root;
  std::vector<WideString> path;
  bool relative;
  if (!RootIndex(root) || !ResolveKey(Key, path, relative)) return false;
  bool exists = false;
  FStore->Read([&](const RegTree& Tree) { exists = Tree.Find(root, path) != nullptr; });
  return exists;
}

bool TRegistry::ValueExists(const WideString& Name) {
  TRegDataInfo info;
  return GetDataInfo(Name, info);
}

void TRegistry::GetKeyNames(std::vector<WideString>& Strings) {
  Strings.clear();
  RegRoot root;
  if (!FOpen || !(FKeyAccess & KEY_ENUMERATE_SUB_KEYS) || !RootIndex(root)) return;
  FStore->Read([&](const RegTree& Tree) {
    if (const RegKey* key = Tree.Find(root, FKeyPath))
      for (const auto& entry : key->SubKeys()) Strings.push_back(entry.second->Name);
  });
}

void TRegistry::GetValueNames(std::vector<WideString>& Strings) {
  Strings.clear();
  RegRoot root;
  if (!FOpen || !(FKeyAccess & KEY_QUERY_VALUE) || !RootIndex(root)) return;
  FStore->Read([&](const RegTree& Tree) {
    if (const RegKey* key = Tree.Find(root, FKeyPath))
      for (const auto& v : key->Values()) Strings.push_back(v.Name);
  });
}

bool TRegistry::GetValue(const WideString& Name, RegValue& Out) {
  RegRoot root;
  if (!FOpen || !(FKeyAccess & KEY_QUERY_VALUE) || !RootIndex(root)) return false;
  bool found = false;
  FStore->Read([&](const RegTree& Tree) {
    const RegKey* key = Tree.Find(root, FKeyPath);
    const RegValue* v = key ? key->FindValue(Name) : nullptr;
    if (v) {
      Out = *v;
      found = true;
    }
  });
  return found;
}

bool TRegistry::GetDataInfo(const WideString& ValueName, TRegDataInfo& Value) {
  Value = TRegDataInfo{};
  RegValue v;
  if (!GetValue(ValueName, v)) return false;
  Value.RegData = v.Type;
  Value.DataSize = static_cast<Integer>(
      std::min<int64_t>(v.DataSize(), std::numeric_limits<Integer>::max()));
  return true;
}

Integer TRegistry::GetDataSize(const WideString& ValueName) {
  TRegDataInfo info;
  return GetDataInfo(ValueName, info) ? info.DataSize : -1;
}

TRegDataType TRegistry::GetDataType(const WideString& ValueName) {
  TRegDataInfo info;
  return GetDataInfo(ValueName, info) ? info.RegData : rdUnknown;
}

WideString TRegistry::ReadString(const WideString& Name) {
  RegValue v;
  if (!GetValue(Name, v) || v.DataSize() <= 0) return {};
  if (v.Type != rdString && v.Type != rdExpandString) RaiseInvalidType(Name);
  return TextUpToZero(v.Text);
}

WideString TRegistry::ReadExpandString(const WideString& Name) { return ReadString(Name); }

Integer TRegistry::ReadInteger(const WideString& Name) {
  RegValue v;
  if (!GetValue(Name, v)) RaiseGetFailed(Name);
  if (v.Type != rdInteger) RaiseInvalidType(Name);
  return static_cast<Integer>(v.Number);
}

bool TRegistry::ReadBool(const WideString& Name) { return ReadInteger(Name) != 0; }

Double TRegistry::ReadFloat(const WideString& Name) {
  RegValue v;
  if (!GetValue(Name, v)) RaiseGetFailed(Name);
  if (v.Type != rdBinary || v.Bytes.size() != sizeof(Double)) RaiseInvalidType(Name);
  Double result;
  std::memcpy(&result, v.Bytes.data(), sizeof result);
  return result;
}

TDateTime TRegistry::ReadDateTime(const WideString& Name) { return ReadFloat(Name); }

Integer TRegistry::ReadBinaryData(const WideString& Name, void* Buffer, Integer BufSize) {
  RegValue v;
  if (!GetValue(Name, v)) return 0;
  if ((v.Type != rdBinary && v.Type != rdUnknown) || v.DataSize() > BufSize) RaiseInvalidType(Name);
  if (!v.Bytes.empty()) std::memcpy(Buffer, v.Bytes.data(), v.Bytes.size());
  return static_cast<Integer>(v.Bytes.size());
}

void TRegistry::PutValue(RegValue V) {
  RegRoot root;
  const WideString name = V.Name;
  if (!FOpen || !(FKeyAccess & KEY_SET_VALUE) || !RootIndex(root) ||
      name.size() > gt::reg::kMaxValueNameLength)
    RaiseSetFailed(name);
  bool ok = FStore->Modify([&](RegTree& Tree) {
    RegKey* key = Tree.Find(root, FKeyPath);
    if (!key) return RegChange::Failed;
    return key->SetValue(std::move(V)) ? RegChange::Changed : RegChange::Unchanged;
  });
  if (!ok) RaiseSetFailed(name);
}

void TRegistry::WriteString(const WideString& Name, const WideString& Value) {
  RegValue v;
  v.Name = Name;
  v.Type = rdString;
  v.Text = Value;
  PutValue(std::move(v));
}

void TRegistry::WriteExpandString(const WideString& Name, const WideString& Value) {
  RegValue v;
  v.Name = Name;
  v.Type = rdExpandString;
  v.Text = Value;
  PutValue(std::move(v));
}

void TRegistry::WriteInteger(const WideString& Name, Integer Value) {
  RegValue v;
  v.Name = Name;
  v.Type = rdInteger;
  v.Number = static_cast<uint32_t>(Value);
  PutValue(std::move(v));
}

void TRegistry::WriteBool(const WideString& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

void TRegistry::WriteFloat(const WideString& Name, Double Value) {
  WriteBinaryData(Name, &Value, sizeof Value);
}

void TRegistry::WriteDateTime(const WideString& Name, TDateTime Value) { WriteFloat(Name, Value); }

void TRegistry::WriteBinaryData(const WideString& Name, const void* Buffer, Integer BufSize) {
  if (BufSize < 0 || (BufSize > 0 && !Buffer)) RaiseSetFailed(Name);
  RegValue v;
  v.Name = Name;
  v.Type = rdBinary;
  const auto* bytes = static_cast<const Byte*>(Buffer);
  if (BufSize > 0) v.Bytes.assign(bytes, bytes + BufSize);
  PutValue(std::move(v));
}
