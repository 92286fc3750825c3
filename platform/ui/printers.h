// The printer: pages are drawn through a canvas on a page-sized surface at the
// printer's resolution and written as a PDF document. With GT_PRINT_TO_FILE
// set, that file is the only printer and receives the document; otherwise the
// document goes to the system's print queues (CUPS: lpstat lists them, lp prints).
#pragma once

#include <memory>

#include "platform/base/lists.h"
#include "platform/graphics/canvas.h"

GT_DECLARE_EXCEPTION(EPrinter, Exception)

enum TPrinterOrientation { poPortrait, poLandscape };

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;

  // EPrinter "Printing in progress" when a document is open already.
  void BeginDoc();
  // Finishes the last page and delivers the document; EPrinter when it cannot be written.
  void EndDoc();
  void NewPage();
  // Drops the document being printed.
  void Abort();

  // The canvas of the current page; drawing needs an open document
  // (EPrinter "Printing not in progress" otherwise). Fonts follow the printer's resolution.
  TCanvas* Canvas();
  // The page's device context (GetDeviceCaps answers the printer's values); null when not printing.
  HDC Handle();
  Integer PageWidth() const;
  Integer PageHeight() const;
  Integer PageNumber() const { return FPageNumber; }
  bool Printing() const { return FPrinting; }
  bool Aborted() const { return FAborted; }
  // Dots per inch of the pages (300 unless changed while not printing).
  Integer Resolution() const { return FResolution; }
  void SetResolution(Integer Value);
  const WideString& Title() const { return FTitle; }
  void SetTitle(const WideString& Value) { FTitle = Value; }
  Integer Copies() const { return FCopies; }
  void SetCopies(Integer Value) { FCopies = Value > 0 ? Value : 1; }
  TPrinterOrientation Orientation() const { return FOrientation; }
  // EPrinter while printing.
  void SetOrientation(TPrinterOrientation Value);
  // The printers' names (the default one first).
  TStrings* Printers();
  // -1: the default printer.
  Integer PrinterIndex() const { return FPrinterIndex; }
  void SetPrinterIndex(Integer Value);

 private:
  struct TImpl;
  void FlushPage();
  std::unique_ptr<TImpl> FImpl;
  bool FPrinting = false;
  bool FAborted = false;
  Integer FPageNumber = 0;
  Integer FResolution = 300;
  WideString FTitle;
  Integer FCopies = 1;
  TPrinterOrientation FOrientation = poPortrait;
  Integer FPrinterIndex = -1;
};

// The program's printer object.
TPrinter* Printer();
