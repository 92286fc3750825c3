// Messages, notifications and records of the list view, tree view and
// header controls, with the numbers their callers use.
#pragma once

#include "platform/ui/winuser.h"

using DWORD_PTR = uintptr_t;

// Common notification header of WM_NOTIFY and CN_NOTIFY (LParam points at it).
struct NMHDR {
  HWND hwndFrom = nullptr;
  uintptr_t idFrom = 0;
  UINT code = 0;
};

// ---------------------------------------------------------------- custom draw

enum : UINT { NM_CUSTOMDRAW = static_cast<UINT>(-12) };
enum : DWORD {
  CDDS_PREPAINT = 0x1, CDDS_POSTPAINT = 0x2, CDDS_ITEM = 0x10000,
  CDDS_ITEMPREPAINT = CDDS_ITEM | CDDS_PREPAINT, CDDS_ITEMPOSTPAINT = CDDS_ITEM | CDDS_POSTPAINT, CDDS_SUBITEM = 0x20000,
};
enum : LRESULT { CDRF_DODEFAULT = 0x0, CDRF_NEWFONT = 0x2, CDRF_SKIPDEFAULT = 0x4, CDRF_NOTIFYITEMDRAW = 0x20 };
enum : UINT { CDIS_SELECTED = 0x1, CDIS_GRAYED = 0x2, CDIS_DISABLED = 0x4, CDIS_FOCUS = 0x10, CDIS_HOT = 0x40 };

struct NMCUSTOMDRAW {
  NMHDR hdr;
  DWORD dwDrawStage = 0;
  HDC hdc = nullptr;
  TRect rc;
  DWORD_PTR dwItemSpec = 0;  // list view: the item index; tree view: the node (HTREEITEM)
  UINT uItemState = 0;
  LPARAM lItemlParam = 0;
};
struct NMLVCUSTOMDRAW {
  NMCUSTOMDRAW nmcd;
  COLORREF clrText = CLR_DEFAULT;
  COLORREF clrTextBk = CLR_DEFAULT;
  Integer iSubItem = 0;
};
struct NMTVCUSTOMDRAW {
  NMCUSTOMDRAW nmcd;
  COLORREF clrText = CLR_DEFAULT;
  COLORREF clrTextBk = CLR_DEFAULT;
  Integer iLevel = 0;
};

// ---------------------------------------------------------------- list view

enum : UINT {
  LVM_FIRST = 0x1000, LVM_SETBKCOLOR = LVM_FIRST + 1, LVM_SETIMAGELIST = LVM_FIRST + 3,
  LVM_GETITEMCOUNT = LVM_FIRST + 4, LVM_GETNEXTITEM = LVM_FIRST + 12, LVM_GETITEMRECT = LVM_FIRST + 14,
  LVM_HITTEST = LVM_FIRST + 18, LVM_ENSUREVISIBLE = LVM_FIRST + 19, LVM_GETHEADER = LVM_FIRST + 31,
  LVM_SETTEXTBKCOLOR = LVM_FIRST + 38, LVM_GETTOPINDEX = LVM_FIRST + 39, LVM_GETCOUNTPERPAGE = LVM_FIRST + 40,
  LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54, LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55,
  LVM_SETBKIMAGEW = LVM_FIRST + 138,
};
enum : UINT { LVSIL_NORMAL = 0, LVSIL_SMALL = 1, LVSIL_STATE = 2 };
enum : DWORD { LVS_EX_FULLROWSELECT = 0x20, LVS_EX_DOUBLEBUFFER = 0x10000 };
enum : UINT { LVNI_ALL = 0x0, LVNI_FOCUSED = 0x1, LVNI_SELECTED = 0x2, LVNI_CUT = 0x4, LVNI_DROPHILITED = 0x8 };
enum : UINT {
  LVIS_FOCUSED = 0x1, LVIS_SELECTED = 0x2, LVIS_CUT = 0x4, LVIS_DROPHILITED = 0x8,
  LVIS_OVERLAYMASK = 0xF00, LVIS_STATEIMAGEMASK = 0xF000,
};
enum : UINT { LVIF_TEXT = 0x1, LVIF_IMAGE = 0x2, LVIF_PARAM = 0x4, LVIF_STATE = 0x8 };
enum : Integer { LVIR_BOUNDS = 0, LVIR_ICON = 1, LVIR_LABEL = 2, LVIR_SELECTBOUNDS = 3 };
enum : UINT {
  LVHT_NOWHERE = 0x1, LVHT_ONITEMICON = 0x2, LVHT_ONITEMLABEL = 0x4, LVHT_ONITEMSTATEICON = 0x8,
  LVHT_ONITEM = LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON, LVHT_ABOVE = 0x8, LVHT_BELOW = 0x10,
  LVHT_TORIGHT = 0x20, LVHT_TOLEFT = 0x40,
};
enum : ULONG { LVBKIF_SOURCE_NONE = 0x0, LVBKIF_SOURCE_URL = 0x2, LVBKIF_STYLE_NORMAL = 0x0, LVBKIF_STYLE_TILE = 0x10 };

enum : UINT {
  LVN_FIRST = static_cast<UINT>(-100), LVN_ITEMCHANGING = LVN_FIRST - 0, LVN_ITEMCHANGED = LVN_FIRST - 1,
  LVN_DELETEITEM = LVN_FIRST - 3, LVN_COLUMNCLICK = LVN_FIRST - 8, LVN_BEGINDRAG = LVN_FIRST - 9,
  LVN_BEGINRDRAG = LVN_FIRST - 11, LVN_BEGINLABELEDITW = LVN_FIRST - 75, LVN_ENDLABELEDITW = LVN_FIRST - 76,
  LVN_GETDISPINFOW = LVN_FIRST - 77,
};

struct LVITEMW {
  UINT mask = 0;
  Integer iItem = 0;
  Integer iSubItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  WCHAR* pszText = nullptr;  // the end of label editing: null when it was cancelled
  Integer cchTextMax = 0;
  Integer iImage = 0;
  LPARAM lParam = 0;
  Integer iIndent = 0;
};
struct NMLISTVIEW {
  NMHDR hdr;
  Integer iItem = -1;
  Integer iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
  TPoint ptAction;
  LPARAM lParam = 0;
};
struct NMLVDISPINFOW {
  NMHDR hdr;
  LVITEMW item;
};
struct LVHITTESTINFO {
  TPoint pt;
  UINT flags = 0;
  Integer iItem = -1;
  Integer iSubItem = 0;
};
struct LVBKIMAGEW {
  ULONG ulFlags = 0;
  HBITMAP hbm = nullptr;
  const WCHAR* pszImage = nullptr;
  UINT cchImageMax = 0;
  Integer xOffsetPercent = 0;
  Integer yOffsetPercent = 0;
};

// ---------------------------------------------------------------- header

enum : UINT {
  HDM_FIRST = 0x1200, HDM_GETITEMCOUNT = HDM_FIRST + 0, HDM_GETITEMRECT = HDM_FIRST + 7,
  HDM_GETITEMW = HDM_FIRST + 11, HDM_SETITEMW = HDM_FIRST + 12,
};
enum : UINT { HDI_WIDTH = 0x1, HDI_TEXT = 0x2, HDI_FORMAT = 0x4, HDI_BITMAP = 0x10 };
enum : Integer {
  HDF_LEFT = 0x0, HDF_RIGHT = 0x1, HDF_CENTER = 0x2, HDF_JUSTIFYMASK = 0x3, HDF_SORTDOWN = 0x200,
  HDF_SORTUP = 0x400, HDF_BITMAP_ON_RIGHT = 0x1000, HDF_BITMAP = 0x2000, HDF_STRING = 0x4000,
};
struct HDITEMW {
  UINT mask = 0;
  Integer cxy = 0;
  WCHAR* pszText = nullptr;
  HBITMAP hbm = nullptr;
  Integer cchTextMax = 0;
  Integer fmt = 0;
  LPARAM lParam = 0;
  Integer iImage = 0;
  Integer iOrder = 0;
};

// ---------------------------------------------------------------- tree view

struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

enum : UINT {
  TV_FIRST = 0x1100, TVM_EXPAND = TV_FIRST + 2, TVM_GETITEMRECT = TV_FIRST + 4, TVM_GETCOUNT = TV_FIRST + 5,
  TVM_GETINDENT = TV_FIRST + 6, TVM_SETINDENT = TV_FIRST + 7, TVM_SETIMAGELIST = TV_FIRST + 9,
  TVM_GETNEXTITEM = TV_FIRST + 10, TVM_SELECTITEM = TV_FIRST + 11, TVM_HITTEST = TV_FIRST + 17,
  TVM_ENSUREVISIBLE = TV_FIRST + 20, TVM_ENDEDITLABELNOW = TV_FIRST + 22, TVM_SETEXTENDEDSTYLE = TV_FIRST + 44,
  TVM_GETEXTENDEDSTYLE = TV_FIRST + 45,
};
enum : UINT { TVSIL_NORMAL = 0, TVSIL_STATE = 2 };
enum : DWORD { TVS_EX_FADEINOUTEXPANDOS = 0x40, TVS_EX_DOUBLEBUFFER = 0x4 };
enum : UINT { TVE_COLLAPSE = 0x1, TVE_EXPAND = 0x2, TVE_TOGGLE = 0x3 };
enum : UINT { TVGN_ROOT = 0x0, TVGN_NEXT = 0x1, TVGN_PREVIOUS = 0x2, TVGN_PARENT = 0x3, TVGN_CHILD = 0x4,
              TVGN_FIRSTVISIBLE = 0x5, TVGN_DROPHILITE = 0x8, TVGN_CARET = 0x9 };
enum : UINT {
  TVHT_NOWHERE = 0x1, TVHT_ONITEMICON = 0x2, TVHT_ONITEMLABEL = 0x4, TVHT_ONITEMINDENT = 0x8,
  TVHT_ONITEMBUTTON = 0x10, TVHT_ONITEMRIGHT = 0x20, TVHT_ONITEMSTATEICON = 0x40,
  TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON, TVHT_ABOVE = 0x100, TVHT_BELOW = 0x200,
  TVHT_TORIGHT = 0x400, TVHT_TOLEFT = 0x800,
};
enum : UINT { TVIF_TEXT = 0x1, TVIF_IMAGE = 0x2, TVIF_PARAM = 0x4, TVIF_STATE = 0x8, TVIF_SELECTEDIMAGE = 0x20 };
enum : UINT { TVIS_SELECTED = 0x2, TVIS_CUT = 0x4, TVIS_DROPHILITED = 0x8, TVIS_EXPANDED = 0x20 };
enum : UINT { TVC_UNKNOWN = 0x0, TVC_BYMOUSE = 0x1, TVC_BYKEYBOARD = 0x2 };

enum : UINT {
  TVN_FIRST = static_cast<UINT>(-400), TVN_SELCHANGINGW = TVN_FIRST - 50, TVN_SELCHANGEDW = TVN_FIRST - 51,
  TVN_GETDISPINFOW = TVN_FIRST - 52, TVN_ITEMEXPANDINGW = TVN_FIRST - 54, TVN_ITEMEXPANDEDW = TVN_FIRST - 55,
  TVN_BEGINDRAGW = TVN_FIRST - 56, TVN_BEGINRDRAGW = TVN_FIRST - 57, TVN_DELETEITEMW = TVN_FIRST - 58,
  TVN_BEGINLABELEDITW = TVN_FIRST - 59, TVN_ENDLABELEDITW = TVN_FIRST - 60,
};

struct TVITEMW {
  UINT mask = 0;
  HTREEITEM hItem = nullptr;
  UINT state = 0;
  UINT stateMask = 0;
  WCHAR* pszText = nullptr;  // the end of label editing: null when it was cancelled
  Integer cchTextMax = 0;
  Integer iImage = 0;
  Integer iSelectedImage = 0;
  Integer cChildren = 0;
  LPARAM lParam = 0;
};
struct NMTREEVIEWW {
  NMHDR hdr;
  UINT action = 0;
  TVITEMW itemOld;
  TVITEMW itemNew;
  TPoint ptDrag;
};
struct NMTVDISPINFOW {
  NMHDR hdr;
  TVITEMW item;
};
struct TVHITTESTINFO {
  TPoint pt;
  UINT flags = 0;
  HTREEITEM hItem = nullptr;
};

// Replaces the procedure of a window (subclassing) and answers the one it
// replaced, which the new procedure calls for what it does not handle.
TWndMethod SubclassWindow(HWND Wnd, const TWndMethod& NewProc);
