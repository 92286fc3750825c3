// Dropped-file lists and drag and drop between programs: the dropped-files
// handle (a DROPFILES block of wide names) and its queries, windows that take
// dropped files as WM_DROPFILES, and the OLE calls (RegisterDragDrop,
// DoDragDrop, the drop source, target and data object) over the platform's
// drag and drop. File lists travel as text/uri-list; a name's bytes are kept
// exactly, so names that are not valid UTF-8 arrive as they left.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/graphics/globalmem.h"
#include "platform/ui/hresult.h"
#include "platform/ui/winuser.h"

enum : HRESULT {
  E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu),
  E_POINTER = static_cast<HRESULT>(0x80004003u),
  DV_E_FORMATETC = static_cast<HRESULT>(0x80040064u),
  DV_E_TYMED = static_cast<HRESULT>(0x80040069u),
  DRAGDROP_E_NOTREGISTERED = static_cast<HRESULT>(0x80040100u),
  DRAGDROP_E_ALREADYREGISTERED = static_cast<HRESULT>(0x80040101u),
  DRAGDROP_E_INVALIDHWND = static_cast<HRESULT>(0x80040102u),
  DRAGDROP_S_DROP = 0x00040100,
  DRAGDROP_S_CANCEL = 0x00040101,
  DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102,
};

enum : DWORD {
  DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2, DROPEFFECT_LINK = 4,
  DVASPECT_CONTENT = 1, TYMED_HGLOBAL = 1,
};

// The registered clipboard format whose DWORD says whether files on the
// clipboard were cut (DROPEFFECT_MOVE) or copied (DROPEFFECT_COPY).
inline constexpr char16_t CFSTR_PREFERREDDROPEFFECT[] = u"Preferred DropEffect";

// ------------------------------------------------------------ dropped files

using HDROP = HGLOBAL;

// The head of a dropped-files block; the names follow at pFiles, each ended
// by a zero, the list by a second zero.
struct DROPFILES {
  DWORD pFiles = sizeof(DROPFILES);
  TPoint pt;     // where the drop happened, in the client area (fNC false)
  BOOL fNC = FALSE;
  BOOL fWide = TRUE;
};

// Index 0xFFFFFFFF: the number of files. A null buffer: the length of name
// iFile in characters (without the zero). Otherwise copies at most cch - 1
// characters and a zero, never more, and answers the full length of the
// name, so that an answer of cch or more tells the caller the name was cut.
// 0 for a bad handle or index.
UINT DragQueryFileW(HDROP hDrop, UINT iFile, WCHAR* lpszFile, UINT cch);
// The drop point; TRUE when it lies in the client area.
BOOL DragQueryPoint(HDROP hDrop, TPoint* lppt);
// Frees the handle a WM_DROPFILES brought.
void DragFinish(HDROP hDrop);
// The window (WS_EX_ACCEPTFILES) takes files dropped on it from other
// programs: WM_DROPFILES is posted with a dropped-files handle in wParam,
// which the window frees with DragFinish.
void DragAcceptFiles(HWND hWnd, BOOL fAccept);

// A new dropped-files handle (GMEM_MOVEABLE) with the names; null when the
// block cannot be made.
HDROP GtCreateDropFiles(const std::vector<WideString>& Names, TPoint Pt = TPoint(), bool NonClient = false);
// The names of a dropped-files block of Size bytes, read as hostile data:
// false when the head or the list does not fit.
bool GtReadDropFiles(const uint8_t* Data, size_t Size, std::vector<WideString>& Names);
// text/uri-list of file names (file:// URLs of the names' bytes, CR LF after each), and back;
// entries that are not local file URLs are skipped.
std::string GtUriListOfNames(const std::vector<WideString>& Names);
std::vector<WideString> GtNamesOfUriList(const std::string& UriList);

// ------------------------------------------------------------ OLE drag and drop

using CLIPFORMAT = Word;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  void* ptd = nullptr;
  DWORD dwAspect = DVASPECT_CONTENT;
  Integer lindex = -1;
  DWORD tymed = TYMED_HGLOBAL;
};

class IUnknown {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct STGMEDIUM {
  DWORD tymed = 0;
  HGLOBAL hGlobal = nullptr;
  IUnknown* pUnkForRelease = nullptr;
};
// Frees the medium's block (or releases its owner) and clears it.
void ReleaseStgMedium(STGMEDIUM* pmedium);

class IDataObject : public IUnknown {
 public:
  // The medium holds a new block the caller releases (ReleaseStgMedium).
  virtual HRESULT GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
  virtual HRESULT QueryGetData(const FORMATETC* pformatetc) = 0;
};

class IDropSource : public IUnknown {
 public:
  // S_OK goes on, DRAGDROP_S_DROP drops, DRAGDROP_S_CANCEL ends without a drop.
  virtual HRESULT QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) = 0;
  virtual HRESULT GiveFeedback(DWORD dwEffect) = 0;
};

// Points are on the screen; grfKeyState holds MK_ flags; pdwEffect comes in
// as the effects the source allows and goes out as the one the target takes.
class IDropTarget : public IUnknown {
 public:
  virtual HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, TPoint pt, DWORD* pdwEffect) = 0;
  virtual HRESULT DragOver(DWORD grfKeyState, TPoint pt, DWORD* pdwEffect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, TPoint pt, DWORD* pdwEffect) = 0;
};

// The reference count the interfaces above need: starts at 1, deletes at 0.
template <class I>
class TGtComObject : public I {
 public:
  ULONG AddRef() override { return ++FRefCount; }
  ULONG Release() override {
    ULONG N = --FRefCount;
    if (N == 0) delete this;
    return N;
  }

 private:
  std::atomic<ULONG> FRefCount{1};
};

// A data object offering the names as CF_HDROP (reference count 1).
IDataObject* GtCreateFileDataObject(const std::vector<WideString>& Names);
// The names a data object offers as CF_HDROP; false when it offers none.
bool GtFileNamesOfDataObject(IDataObject* Data, std::vector<WideString>& Names);

// Drops on the window (and its children without a target of their own) go
// to Target, which is held until RevokeDragDrop or the window's end.
HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget);
HRESULT RevokeDragDrop(HWND hwnd);
// Runs the drag until the source or the user ends it: DRAGDROP_S_DROP with
// the effect the target chose in *pdwEffect, or DRAGDROP_S_CANCEL.
HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects, DWORD* pdwEffect);
