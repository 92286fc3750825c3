// Pictures of any kind: the abstract TGraphic and TPicture, which holds one
// graphic and knows the registered file and clipboard formats.
#pragma once

#include <memory>

#include "platform/graphics/canvas.h"

class TGraphic;
// A graphic class is identified by its factory.
using TGraphicClass = TGraphic* (*)();

class TGraphic : public TPersistent {
 public:
  virtual TGraphicClass ClassType() const = 0;
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;
  virtual bool Empty() const = 0;
  virtual Integer Width() const = 0;
  virtual Integer Height() const = 0;
  virtual void SetWidth(Integer Value) = 0;
  virtual void SetHeight(Integer Value) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromFile(const WideString& FileName);
  // Writes a temporary file beside the target and renames it over the target
  // only when the whole picture was written.
  virtual void SaveToFile(const WideString& FileName);
  virtual HPALETTE Palette() { return nullptr; }
  virtual void SetPalette(HPALETTE Value) { (void)Value; }
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  bool Modified() const { return FModified; }
  void SetModified(bool Value);
  // The graphic's palette changed since whoever shows it last took it up.
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }

  TNotifyEvent OnChange;

 protected:
  virtual void Changed(TObject* Sender);

 private:
  bool FTransparent = false;
  bool FModified = false;
  bool FPaletteModified = false;
};

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  void Assign(TPersistent* Source) override;
  // The graphic held (owned), or nullptr.
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Takes a copy of Value (a new graphic of the same class, assigned).
  void SetGraphic(TGraphic* Value);
  // The graphic as a bitmap; replaces any other kind by an empty bitmap.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value);
  Integer Width() const;
  Integer Height() const;
  // Chooses the graphic class by the file extension; EInvalidGraphic
  // "Unknown picture file extension (.ext)" for one that is not registered.
  void LoadFromFile(const WideString& FileName);
  void SaveToFile(const WideString& FileName);

  // Extensions are given without the dot, compared without case.
  static void RegisterFileFormat(const WideString& Extension, const WideString& Description,
                                 TGraphicClass GraphicClass);
  static void RegisterClipboardFormat(Word Format, TGraphicClass GraphicClass);
  static void UnregisterGraphicClass(TGraphicClass GraphicClass);
  // The class registered for an extension, or nullptr.
  static TGraphicClass FileFormatClass(const WideString& Extension);
  static TGraphicClass ClipboardFormatClass(Word Format);
  // "Description (*.ext)|*.ext|..." of every registered format.
  static WideString FileFilter();

  TNotifyEvent OnChange;

 private:
  void Changed(TObject* Sender);
  void Adopt(std::unique_ptr<TGraphic> G);
  std::unique_ptr<TGraphic> FGraphic;
};
