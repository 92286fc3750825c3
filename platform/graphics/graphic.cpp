#include "platform/graphics/graphic.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"
#include "platform/graphics/bitmap.h"

// ---------------------------------------------------------------- TGraphic

void TGraphic::Changed(TObject* Sender) {
  (void)Sender;
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value) Changed(this);
  else FModified = false;
}

void TGraphic::LoadFromFile(const WideString& FileName) {
  TFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&s);
}

void TGraphic::SaveToFile(const WideString& FileName) {
  WideString folder = ExtractFilePath(FileName);
  WideString temp;
  const int fd = CreateTempFile(folder, u"gt", u".tmp", temp);
  try {
    {
      THandleStream s(fd, true);
      SaveToStream(&s);
      if (::fsync(fd) != 0) throw EWriteError("Stream write error");
    }
    if (!RenameFile(temp, FileName, true))
      throw EFCreateError(u"Cannot create file \"" + ExpandFileName(FileName) + u"\"");
  } catch (...) {
    DeleteFile(temp);
    throw;
  }
}

// ---------------------------------------------------------------- TPicture

namespace {

struct TFormat {
  WideString Ext;
  WideString Description;
  TGraphicClass Class;
};

struct TFormats {
  std::mutex Lock;
  std::vector<TFormat> Files;
  std::vector<std::pair<Word, TGraphicClass>> Clipboard;
};

TFormats& Formats() {
  static TFormats* f = [] {
    auto* t = new TFormats;  // lives for the whole run, like the class registrations
    t->Files.push_back({u"bmp", u"Bitmaps", &TBitmap::Create});
    t->Clipboard.push_back({2 /* CF_BITMAP */, &TBitmap::Create});
    return t;
  }();
  return *f;
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed(TObject* Sender) {
  (void)Sender;
  if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> G) {
  FGraphic = std::move(G);
  if (FGraphic) FGraphic->OnChange = [this](TObject* s) { Changed(s); };
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (Value == FGraphic.get()) return;
  if (!Value) {
    Adopt(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> g(Value->ClassType()());
  g->Assign(Value);
  Adopt(std::move(g));
}

void TPicture::SetBitmap(TBitmap* Value) { SetGraphic(Value); }

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    Adopt(std::make_unique<TBitmap>());
    b = static_cast<TBitmap*>(FGraphic.get());
  }
  return b;
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(p->Graphic());
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
    return;
  }
  TPersistent::Assign(Source);
}

Integer TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
Integer TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::LoadFromFile(const WideString& FileName) {
  WideString ext = ExtractFileExt(FileName);
  if (!ext.empty() && ext[0] == u'.') ext.erase(0, 1);
  TGraphicClass cls = FileFormatClass(ext);
  if (!cls) throw EInvalidGraphic(u"Unknown picture file extension (." + ext + u")");
  std::unique_ptr<TGraphic> g(cls());
  g->LoadFromFile(FileName);
  Adopt(std::move(g));
}

void TPicture::SaveToFile(const WideString& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::RegisterFileFormat(const WideString& Extension, const WideString& Description,
                                  TGraphicClass GraphicClass) {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  WideString ext = LowerCase(Extension);
  f.Files.erase(std::remove_if(f.Files.begin(), f.Files.end(), [&](const TFormat& x) { return x.Ext == ext; }),
                f.Files.end());
  f.Files.push_back({ext, Description, GraphicClass});
}

void TPicture::RegisterClipboardFormat(Word Format, TGraphicClass GraphicClass) {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  f.Clipboard.emplace_back(Format, GraphicClass);
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass) {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  f.Files.erase(std::remove_if(f.Files.begin(), f.Files.end(), [&](const TFormat& x) { return x.Class == GraphicClass; }),
                f.Files.end());
  f.Clipboard.erase(std::remove_if(f.Clipboard.begin(), f.Clipboard.end(),
                                   [&](const auto& x) { return x.second == GraphicClass; }),
                    f.Clipboard.end());
}

TGraphicClass TPicture::FileFormatClass(const WideString& Extension) {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  const WideString ext = LowerCase(Extension);
  for (auto it = f.Files.rbegin(); it != f.Files.rend(); ++it)
    if (it->Ext == ext) return it->Class;
  return nullptr;
}

TGraphicClass TPicture::ClipboardFormatClass(Word Format) {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  for (auto it = f.Clipboard.rbegin(); it != f.Clipboard.rend(); ++it)
    if (it->first == Format) return it->second;
  return nullptr;
}

WideString TPicture::FileFilter() {
  auto& f = Formats();
  std::lock_guard<std::mutex> g(f.Lock);
  WideString r;
  for (const TFormat& x : f.Files) {
    if (!r.empty()) r += u"|";
    r += x.Description + u" (*." + x.Ext + u")|*." + x.Ext;
  }
  return r;
}
