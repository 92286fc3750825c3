// The clipboard: the Windows calls and the class library's TClipboard over
// the platform clipboard (X11 selections between processes). Formats map to
// MIME types: CF_TEXT, CF_OEMTEXT and CF_UNICODETEXT to text/plain, CF_DIB to
// image/bmp (a BMP file: the packed DIB behind a 14-byte file header), CF_HDROP
// to text/uri-list (with "Preferred DropEffect" as the desktops' cut and copy
// markers, x-special/gnome-copied-files and application/x-kde-cutselection), the
// registered "PNG" to image/png, and every other registered name N to
// application/x-<N in lower case, blanks as "-"> ("ZIDUZUV RAW FORMAT" is
// application/x-ziduzuv-raw-format). Other MIME types on the clipboard get
// formats registered under their own names.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/lists.h"
#include "platform/graphics/globalmem.h"
#include "platform/ui/messages.h"

// The same name (case ignored) gives the same number, 0xC000 or above; 0 for an empty name.
UINT RegisterClipboardFormat(const WideString& Name);
// The registered name of Format (empty for standard and unknown formats).
WideString GtClipboardFormatName(UINT Format);
// Copies the name into Buffer (at most MaxCount - 1 characters and a 0);
// answers the characters copied, 0 when Format has no registered name.
Integer GetClipboardFormatName(UINT Format, WCHAR* Buffer, Integer MaxCount);
// The MIME type a format travels as.
AnsiString GtClipboardMimeType(UINT Format);

// Opening never waits: it fails only while another window of this program
// holds the clipboard open.
BOOL OpenClipboard(HWND NewOwner);
// Publishes what was set since EmptyClipboard.
BOOL CloseClipboard();
BOOL EmptyClipboard();
// The clipboard takes Mem (a global block) and frees it at the next
// EmptyClipboard; the data is published when the clipboard is closed.
HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem);
// A global block with the data (owned by the clipboard; valid until the next
// OpenClipboard); null when the format is not on the clipboard.
HGLOBAL GetClipboardData(UINT Format);
BOOL IsClipboardFormatAvailable(UINT Format);
// The formats on the clipboard, one after the other (0 starts, 0 ends).
UINT EnumClipboardFormats(UINT Format);
Integer CountClipboardFormats();
HWND GetClipboardOwner();
HWND GetOpenClipboardWindow();

// BMP file <-> packed DIB, the layouts of image/bmp and CF_DIB. Both check the
// headers against the data and refuse what does not fit.
bool GtBmpFileToPackedDIB(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Dib);
bool GtPackedDIBToBmpFile(const uint8_t* Dib, size_t Size, std::vector<uint8_t>& Bmp);

class TClipboard : public TPersistent {
 public:
  TClipboard() = default;
  ~TClipboard() override;
  // Nested: only the outermost Open opens and the matching Close closes.
  void Open();
  void Close();
  void Clear();
  bool HasFormat(Word Format);
  // The clipboard's own block with the data (valid until the contents change;
  // the caller does not free it), or null.
  HGLOBAL GetAsHandle(Word Format);
  // The clipboard takes Value; the first set of an Open..Close empties the clipboard.
  void SetAsHandle(Word Format, HGLOBAL Value);
  WideString AsText();
  void SetAsText(const WideString& Value);
  Integer FormatCount();
  Word Formats(Integer Index);
  // Raw bytes of a format (for callers that do not want global blocks).
  bool GetAsBytes(Word Format, std::vector<uint8_t>& Data);
  void SetAsBytes(Word Format, const uint8_t* Data, size_t Size);

 private:
  void Adding();
  Integer FOpenRefCount = 0;
  bool FEmptied = false;
  HWND FWindow = nullptr;
};

// The program's clipboard object.
TClipboard* Clipboard();
