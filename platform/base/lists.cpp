#include "platform/base/lists.h"

#include <algorithm>
#include <memory>
#include <string>

#include "platform/base/strutils.h"

namespace {
[[noreturn]] void ListIndexError(Integer Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}
[[noreturn]] void StringListIndexError(Integer Index) {
  throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}
}  // namespace

// ---------------------------------------------------------------------------
// TList

TList::~TList() { Clear(); }

void TList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

void TList::Notify(void*, TListNotification) {}

Integer TList::Add(void* Item) {
  FList.push_back(Item);
  if (Item) Notify(Item, lnAdded);
  return Count() - 1;
}

void TList::Insert(Integer Index, void* Item) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FList.insert(FList.begin() + Index, Item);
  if (Item) Notify(Item, lnAdded);
}

void TList::Delete(Integer Index) {
  CheckIndex(Index);
  void* item = FList[static_cast<size_t>(Index)];
  FList.erase(FList.begin() + Index);
  if (item) Notify(item, lnDeleted);
}

Integer TList::Remove(void* Item) {
  Integer i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::Extract(void* Item) {
  Integer i = IndexOf(Item);
  if (i < 0) return nullptr;
  FList.erase(FList.begin() + i);
  if (Item) Notify(Item, lnExtracted);
  return Item;
}

Integer TList::IndexOf(void* Item) const {
  auto it = std::find(FList.begin(), FList.end(), Item);
  return it == FList.end() ? -1 : static_cast<Integer>(it - FList.begin());
}

void TList::Clear() {
  SetCount(0);
  FList.shrink_to_fit();
}

void TList::SetCount(Integer NewCount) {
  if (NewCount < 0) throw EListError("List count out of bounds (" + std::to_string(NewCount) + ")");
  // Deleting one by one lets Notify (which may free the item) see each.
  while (Count() > NewCount) Delete(Count() - 1);
  if (NewCount > Count()) FList.resize(static_cast<size_t>(NewCount), nullptr);
}

void TList::SetCapacity(Integer NewCapacity) {
  if (NewCapacity < Count()) throw EListError("List capacity out of bounds (" + std::to_string(NewCapacity) + ")");
  if (NewCapacity > Capacity()) FList.reserve(static_cast<size_t>(NewCapacity));
}

void* TList::Items(Integer Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)];
}

void TList::SetItems(Integer Index, void* Item) {
  CheckIndex(Index);
  void* old = FList[static_cast<size_t>(Index)];
  if (old == Item) return;
  FList[static_cast<size_t>(Index)] = Item;
  if (old) Notify(old, lnDeleted);
  if (Item) Notify(Item, lnAdded);
}

void TList::Exchange(Integer Index1, Integer Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
}

void TList::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  auto b = FList.begin();
  if (CurIndex < NewIndex) std::rotate(b + CurIndex, b + CurIndex + 1, b + NewIndex + 1);
  else std::rotate(b + NewIndex, b + CurIndex, b + CurIndex + 1);
}

void TList::Pack() { FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end()); }

void TList::Sort(const TListSortCompare& Compare) {
  std::stable_sort(FList.begin(), FList.end(), [&](void* a, void* b) { return Compare(a, b) < 0; });
}

// ---------------------------------------------------------------------------
// TObjectList

TObjectList::~TObjectList() { Clear(); }  // here, so that our Notify frees the objects

void TObjectList::Notify(void* Ptr, TListNotification Action) {
  if (FOwnsObjects && Action == lnDeleted) delete static_cast<TObject*>(Ptr);
}

// ---------------------------------------------------------------------------
// TStrings

Integer TStrings::Add(const WideString& S) {
  Integer i = GetCount();
  Insert(i, S);
  return i;
}

Integer TStrings::AddObject(const WideString& S, TObject* AObject) {
  Integer i = Add(S);
  PutObject(i, AObject);
  return i;
}

void TStrings::AddStrings(TStrings* Strings) {
  BeginUpdate();
  try {
    Integer n = Strings->GetCount();  // fixed first: Strings may be this list
    for (Integer i = 0; i < n; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TStrings*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  BeginUpdate();
  try {
    Clear();
    FNameValueSeparator = src->FNameValueSeparator;
    FDelimiter = src->FDelimiter;
    FQuoteChar = src->FQuoteChar;
    AddStrings(src);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  // The state changes while the count is still 0, so that OnChanging fires once.
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Exchange(Integer Index1, Integer Index2) {
  BeginUpdate();
  try {
    WideString s = Get(Index1);
    TObject* o = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s);
    PutObject(Index2, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

Integer TStrings::IndexOf(const WideString& S) const {
  for (Integer i = 0; i < GetCount(); ++i)
    if (CompareStrings(Get(i), S) == 0) return i;
  return -1;
}

Integer TStrings::IndexOfName(const WideString& Name) const {
  for (Integer i = 0; i < GetCount(); ++i) {
    WideString s = Get(i);
    size_t p = s.find(FNameValueSeparator);
    if (p != WideString::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
  }
  return -1;
}

Integer TStrings::IndexOfObject(TObject* AObject) const {
  for (Integer i = 0; i < GetCount(); ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::InsertObject(Integer Index, const WideString& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  try {
    WideString s = Get(CurIndex);
    TObject* o = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Put(Integer Index, const WideString& S) {
  TObject* o = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, o);
}

TObject* TStrings::GetObject(Integer) const { return nullptr; }
void TStrings::PutObject(Integer, TObject*) {}

int TStrings::CompareStrings(const WideString& S1, const WideString& S2) const { return CompareText(S1, S2); }

WideString TStrings::Names(Integer Index) const {
  WideString s = Get(Index);
  size_t p = s.find(FNameValueSeparator);
  return p == WideString::npos ? WideString() : s.substr(0, p);
}

WideString TStrings::Values(const WideString& Name) const {
  Integer i = IndexOfName(Name);
  return i < 0 ? WideString() : ValueFromIndex(i);
}

void TStrings::SetValues(const WideString& Name, const WideString& Value) {
  Integer i = IndexOfName(Name);
  if (!Value.empty()) {
    WideString entry = Name + FNameValueSeparator + Value;
    if (i < 0) Add(entry);
    else Put(i, entry);
  } else if (i >= 0) {
    Delete(i);
  }
}

WideString TStrings::ValueFromIndex(Integer Index) const {
  WideString s = Get(Index);
  size_t p = s.find(FNameValueSeparator);
  return p == WideString::npos ? WideString() : s.substr(p + 1);
}

void TStrings::SetValueFromIndex(Integer Index, const WideString& Value) {
  if (!Value.empty()) {
    if (Index < 0) Index = Add(WideString());
    Put(Index, Names(Index) + FNameValueSeparator + Value);
  } else if (Index >= 0) {
    Delete(Index);
  }
}

WideString TStrings::DelimitedText() const { return JoinDelimited(FDelimiter, FQuoteChar); }

WideString TStrings::JoinDelimited(WideChar Delim, WideChar Quote) const {
  Integer n = GetCount();
  if (n == 1 && Get(0).empty()) return WideString(2, Quote);
  WideString r;
  for (Integer i = 0; i < n; ++i) {
    WideString s = Get(i);
    bool quote = std::any_of(s.begin(), s.end(),
                             [&](char16_t c) { return c <= u' ' || c == Quote || c == Delim; });
    if (quote) {
      WideString q(1, Quote);
      for (char16_t c : s) {
        q += c;
        if (c == Quote) q += c;
      }
      q += Quote;
      s = q;
    }
    if (i > 0) r += Delim;
    r += s;
  }
  return r;
}

void TStrings::SetDelimitedText(const WideString& Value) { SplitDelimited(Value, FDelimiter, FQuoteChar); }

void TStrings::SplitDelimited(const WideString& Value, WideChar Delim, WideChar Quote) {
  BeginUpdate();
  try {
    Clear();
    const size_t n = Value.size();
    size_t p = 0;
    auto blank = [&](size_t i) { return i < n && Value[i] >= 1 && Value[i] <= u' '; };
    while (blank(p)) ++p;
    while (p < n) {
      WideString s;
      if (Value[p] == Quote) {
        ++p;
        while (p < n) {
          if (Value[p] == Quote) {
            if (p + 1 < n && Value[p + 1] == Quote) {
              s += Quote;
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          s += Value[p++];
        }
      } else {
        size_t start = p;
        while (p < n && Value[p] > u' ' && Value[p] != Delim) ++p;
        s = Value.substr(start, p - start);
      }
      Add(s);
      while (blank(p)) ++p;
      if (p < n && Value[p] == Delim) {
        if (p + 1 == n) Add(WideString());  // a trailing delimiter ends with an empty entry
        do ++p;
        while (blank(p));
      } else if (p < n && Value[p] < 1) {
        ++p;  // a NUL that is not the delimiter separates nothing
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

WideString TStrings::CommaText() const { return JoinDelimited(u',', u'"'); }
void TStrings::SetCommaText(const WideString& Value) { SplitDelimited(Value, u',', u'"'); }

WideString TStrings::Text() const {
  WideString r;
  for (Integer i = 0; i < GetCount(); ++i) r += Get(i) + u"\r\n";
  return r;
}

void TStrings::SetText(const WideString& Value) {
  BeginUpdate();
  try {
    Clear();
    size_t p = 0, n = Value.size();
    while (p < n) {
      size_t start = p;
      while (p < n && Value[p] != u'\r' && Value[p] != u'\n') ++p;
      Add(Value.substr(start, p - start));
      if (p < n && Value[p] == u'\r') ++p;
      if (p < n && Value[p] == u'\n') ++p;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::LoadFromStream(TStream* Stream) {
  int64_t size = Stream->Size() - Stream->Position();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  if (!bytes.empty()) Stream->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  SetText(Utf8ToWide(bytes));
}

void TStrings::SaveToStream(TStream* Stream) {
  std::string bytes = WideToUtf8(Text());
  Stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TStrings::LoadFromFile(const WideString& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToFile(const WideString& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------
// TStringList

TStringList::~TStringList() = default;

void TStringList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= GetCount()) StringListIndexError(Index);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) Changing();
  else Changed();
}

Integer TStringList::Add(const WideString& S) { return AddObject(S, nullptr); }

Integer TStringList::AddObject(const WideString& S, TObject* AObject) {
  Integer index;
  if (!FSorted) {
    index = GetCount();
  } else if (Find(S, index)) {
    if (FDuplicates == dupIgnore) return index;
    if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, S, AObject);
  return index;
}

void TStringList::InsertItem(Integer Index, const WideString& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, TStringItem{S, AObject});
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

void TStringList::Delete(Integer Index) {
  CheckIndex(Index);
  Changing();
  FList.erase(FList.begin() + Index);
  Changed();
}

void TStringList::Exchange(Integer Index1, Integer Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
  Changed();
}

bool TStringList::Find(const WideString& S, Integer& Index) const {
  if (!FSorted) {
    for (Integer i = 0; i < GetCount(); ++i)
      if (CompareStrings(FList[static_cast<size_t>(i)].FString, S) == 0) {
        Index = i;
        return true;
      }
    Index = GetCount();
    return false;
  }
  bool found = false;
  Integer lo = 0, hi = GetCount() - 1;
  while (lo <= hi) {
    Integer mid = lo + (hi - lo) / 2;
    int c = CompareStrings(FList[static_cast<size_t>(mid)].FString, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  Index = lo;
  return found;
}

Integer TStringList::IndexOf(const WideString& S) const {
  Integer i;
  return Find(S, i) ? i : -1;
}

void TStringList::Insert(Integer Index, const WideString& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(Integer Index, const WideString& S, TObject* AObject) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > GetCount()) StringListIndexError(Index);
  InsertItem(Index, S, AObject);
}

WideString TStringList::Get(Integer Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FString;
}

void TStringList::Put(Integer Index, const WideString& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].FString = S;
  Changed();
}

TObject* TStringList::GetObject(Integer Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FObject;
}

void TStringList::PutObject(Integer Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].FObject = AObject;
  Changed();
}

int TStringList::CompareStrings(const WideString& S1, const WideString& S2) const {
  return FCaseSensitive ? WideCompareStr(S1, S2) : WideCompareText(S1, S2);
}

void TStringList::SortItems() {
  if (FList.size() < 2) return;
  Changing();
  std::stable_sort(FList.begin(), FList.end(), [this](const TStringItem& a, const TStringItem& b) {
    return CompareStrings(a.FString, b.FString) < 0;
  });
  Changed();
}

void TStringList::Sort() {
  if (!FSorted) SortItems();
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (FSorted || FList.size() < 2) return;
  Changing();
  QuickSort(0, GetCount() - 1, Compare);
  Changed();
}

// Quicksort over the live list, as the comparison reads entries by index. The
// scans are bounded so that an inconsistent comparison cannot leave the list.
void TStringList::QuickSort(Integer L, Integer R, const TStringListSortCompare& Compare) {
  Integer i;
  do {
    i = L;
    Integer j = R, p = L + (R - L) / 2;
    do {
      while (i < R && Compare(this, i, p) < 0) ++i;
      while (j > L && Compare(this, j, p) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(FList[static_cast<size_t>(i)], FList[static_cast<size_t>(j)]);
        if (p == i) p = j;
        else if (p == j) p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (L < j) QuickSort(L, j, Compare);
    L = i;
  } while (i < R);
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) SortItems();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) SortItems();
}
