// The in-memory registry tree.
#include "platform/registry/registry_tree.h"

#include <QChar>

namespace gt::reg {

const char* const kRootNames[rrCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                         "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

WideString FoldName(const WideString& Name) {
  WideString out(Name);
  for (auto& c : out) {
    if (c < 0x80) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // compared unit by unit, like the system does
    char32_t u = QChar::toUpper(static_cast<char32_t>(c));
    if (u <= 0xFFFF) c = static_cast<char16_t>(u);
  }
  return out;
}

int64_t RegValue::DataSize() const {
  switch (Type) {
    case rdString:
    case rdExpandString:
      return static_cast<int64_t>(Text.size() + 1) * 2;
    case rdInteger:
      return 4;
    default:
      return static_cast<int64_t>(Bytes.size());
  }
}

bool RegValue::SameData(const RegValue& Other) const {
  if (Type != Other.Type) return false;
  switch (Type) {
    case rdString:
    case rdExpandString:
      return Text == Other.Text;
    case rdInteger:
      return Number == Other.Number;
    default:
      return Bytes == Other.Bytes;
  }
}

const RegValue* RegKey::FindValue(const WideString& ValueName) const {
  auto it = FValueIndex.find(FoldName(ValueName));
  return it == FValueIndex.end() ? nullptr : &FValues[it->second];
}

bool RegKey::SetValue(RegValue V) {
  WideString folded = FoldName(V.Name);
  auto it = FValueIndex.find(folded);
  if (it == FValueIndex.end()) {
    FValueIndex.emplace(std::move(folded), FValues.size());
    FValues.push_back(std::move(V));
    return true;
  }
  RegValue& old = FValues[it->second];
  if (old.SameData(V)) return false;
  V.Name = old.Name;
  old = std::move(V);
  return true;
}

bool RegKey::DeleteValue(const WideString& ValueName) {
  auto it = FValueIndex.find(FoldName(ValueName));
  if (it == FValueIndex.end()) return false;
  size_t index = it->second;
  FValueIndex.erase(it);
  FValues.erase(FValues.begin() + static_cast<std::ptrdiff_t>(index));
  for (auto& entry : FValueIndex)
    if (entry.second > index) --entry.second;
  return true;
}

RegKey* RegKey::FindSubKey(const WideString& KeyName) {
  auto it = FSubKeys.find(FoldName(KeyName));
  return it == FSubKeys.end() ? nullptr : it->second.get();
}

const RegKey* RegKey::FindSubKey(const WideString& KeyName) const {
  auto it = FSubKeys.find(FoldName(KeyName));
  return it == FSubKeys.end() ? nullptr : it->second.get();
}

RegKey& RegKey::AddSubKey(const WideString& KeyName) {
  auto& slot = FSubKeys[FoldName(KeyName)];
  if (!slot) slot = std::make_unique<RegKey>(KeyName);
  return *slot;
}

bool RegKey::DeleteSubKey(const WideString& KeyName) {
  return FSubKeys.erase(FoldName(KeyName)) > 0;
}

RegKey* RegTree::Find(RegRoot Root, const std::vector<WideString>& Path) {
  return const_cast<RegKey*>(static_cast<const RegTree*>(this)->Find(Root, Path));
}

const RegKey* RegTree::Find(RegRoot Root, const std::vector<WideString>& Path) const {
  if (Root < 0 || Root >= rrCount) return nullptr;
  const RegKey* key = &Roots[Root];
  for (const auto& name : Path) {
    key = key->FindSubKey(name);
    if (!key) return nullptr;
  }
  return key;
}

void RegTree::Clear() {
  for (auto& root : Roots) root = RegKey();
}

}  // namespace gt::reg
