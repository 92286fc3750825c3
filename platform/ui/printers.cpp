// Printing into PDF documents, for a file or for the system's print queues.
#include "platform/ui/printers.h"

#include <QDir>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/graphics/gdi_surface.h"
#include "platform/ui/private/window.h"

namespace {

// A4, the paper of every page.
constexpr double kPaperWidthMm = 210.0, kPaperHeightMm = 297.0;

class TPageSurface : public TGdiSurface {
 public:
  QImage Image;
  Integer Dpi = 300;
  bool LockPixels(TGdiPixels& P) override {
    if (Image.isNull()) return false;
    P.Row0 = Image.bits();
    P.Stride = Image.bytesPerLine();
    P.Width = Image.width();
    P.Height = Image.height();
    P.BitCount = 32;
    return true;
  }
  void UnlockPixels(const TRect&) override {}
  Integer DeviceCaps(Integer Index) override {
    switch (Index) {
      case TECHNOLOGY: return DT_RASPRINTER;
      case LOGPIXELSX:
      case LOGPIXELSY: return Dpi;
      case HORZRES:
      case PHYSICALWIDTH: return Image.width();
      case VERTRES:
      case PHYSICALHEIGHT: return Image.height();
      case PHYSICALOFFSETX:
      case PHYSICALOFFSETY: return 0;
      case HORZSIZE: return static_cast<Integer>(Round(Image.width() * 25.4 / Dpi));
      case VERTSIZE: return static_cast<Integer>(Round(Image.height() * 25.4 / Dpi));
      case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DI_BITMAP | RC_DIBTODEV | RC_BITMAP64;
      default: return TGdiSurface::DeviceCaps(Index);
    }
  }
};

class TPrinterCanvas : public TCanvas {
 public:
  explicit TPrinterCanvas(TPrinter* APrinter) : Printer(APrinter) {}
  TPrinter* Printer;

 protected:
  void CreateHandle() override {
    if (!Printer->Printing()) throw EPrinter("Printing not in progress");
    SetHandle(Printer->Handle());
  }
};

std::string PrintToFile() {
  const char* F = std::getenv("GT_PRINT_TO_FILE");
  return F && *F ? std::string(F) : std::string();
}

// Runs a program with arguments (no shell) and returns its standard output.
bool RunProgram(const std::vector<std::string>& Args, std::string* Output) {
  int Pipe[2];
  if (pipe(Pipe) != 0) return false;
  pid_t Pid = fork();
  if (Pid < 0) {
    close(Pipe[0]);
    close(Pipe[1]);
    return false;
  }
  if (Pid == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    close(Pipe[0]);
    close(Pipe[1]);
    std::vector<char*> Argv;
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execvp(Argv[0], Argv.data());
    _exit(127);
  }
  close(Pipe[1]);
  std::string Out;
  char Buf[4096];
  ssize_t N;
  while ((N = read(Pipe[0], Buf, sizeof(Buf))) > 0) Out.append(Buf, static_cast<size_t>(N));
  close(Pipe[0]);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (Output) *Output = Out;
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

}  // namespace

struct TPrinter::TImpl {
  TPageSurface Surface;
  HDC DC = nullptr;
  std::unique_ptr<TPrinterCanvas> Canvas;
  std::unique_ptr<QPdfWriter> Writer;
  std::unique_ptr<QPainter> Painter;
  QString Target;  // the PDF being written
  bool Temporary = false;
  std::unique_ptr<TStringList> Printers;
};

TPrinter::TPrinter() : FImpl(std::make_unique<TImpl>()) {}

TPrinter::~TPrinter() {
  if (FPrinting) Abort();
}

void TPrinter::SetResolution(Integer Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FResolution = std::clamp(Value, 36, 1200);
}

void TPrinter::SetOrientation(TPrinterOrientation Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  FOrientation = Value;
}

Integer TPrinter::PageWidth() const {
  double Mm = FOrientation == poPortrait ? kPaperWidthMm : kPaperHeightMm;
  return static_cast<Integer>(Trunc(Mm / 25.4 * FResolution));
}

Integer TPrinter::PageHeight() const {
  double Mm = FOrientation == poPortrait ? kPaperHeightMm : kPaperWidthMm;
  return static_cast<Integer>(Trunc(Mm / 25.4 * FResolution));
}

TStrings* TPrinter::Printers() {
  if (!FImpl->Printers) {
    FImpl->Printers = std::make_unique<TStringList>();
    std::string File = PrintToFile();
    if (!File.empty()) {
      FImpl->Printers->Add(Utf8ToWide(File));
    } else {
      std::string Default, All;
      if (RunProgram({"lpstat", "-d"}, &Default)) {
        size_t P = Default.find(": ");
        if (P != std::string::npos) {
          std::string Name = Default.substr(P + 2);
          while (!Name.empty() && (Name.back() == '\n' || Name.back() == ' ')) Name.pop_back();
          if (!Name.empty()) FImpl->Printers->Add(Utf8ToWide(Name));
        }
      }
      if (RunProgram({"lpstat", "-e"}, &All)) {
        size_t Start = 0;
        while (Start < All.size()) {
          size_t End = All.find('\n', Start);
          if (End == std::string::npos) End = All.size();
          std::string Name = All.substr(Start, End - Start);
          if (!Name.empty() && FImpl->Printers->IndexOf(Utf8ToWide(Name)) < 0) FImpl->Printers->Add(Utf8ToWide(Name));
          Start = End + 1;
        }
      }
    }
  }
  return FImpl->Printers.get();
}

void TPrinter::SetPrinterIndex(Integer Value) {
  if (FPrinting) throw EPrinter("Printing in progress");
  if (Value < -1 || Value >= Printers()->Count()) throw EPrinter("Printer selected is not valid");
  FPrinterIndex = Value;
}

HDC TPrinter::Handle() { return FPrinting ? FImpl->DC : nullptr; }

TCanvas* TPrinter::Canvas() {
  if (!FImpl->Canvas) FImpl->Canvas = std::make_unique<TPrinterCanvas>(this);
  return FImpl->Canvas.get();
}

void TPrinter::BeginDoc() {
  if (FPrinting) throw EPrinter("Printing in progress");
  gtui::InitWindowing();
  std::string File = PrintToFile();
  if (File.empty()) {
    if (Printers()->Count() == 0) throw EPrinter("There is no default printer currently selected");
    QTemporaryFile Tmp(QDir::tempPath() + QStringLiteral("/gimro-tal-print-XXXXXX.pdf"));
    Tmp.setAutoRemove(false);
    if (!Tmp.open()) throw EPrinter("Cannot create the print file");
    FImpl->Target = Tmp.fileName();
    FImpl->Temporary = true;
  } else {
    FImpl->Target = QString::fromStdString(File);
    FImpl->Temporary = false;
  }
  FImpl->Writer = std::make_unique<QPdfWriter>(FImpl->Target);
  QPdfWriter& W = *FImpl->Writer;
  W.setResolution(FResolution);
  W.setPageSize(QPageSize(QPageSize::A4));
  W.setPageOrientation(FOrientation == poPortrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  W.setPageMargins(QMarginsF(0, 0, 0, 0));
  W.setTitle(QString::fromStdU16String(FTitle));
  W.setCreator(QStringLiteral("Gimro-Tal"));
  FImpl->Painter = std::make_unique<QPainter>();
  if (!FImpl->Painter->begin(&W)) {
    FImpl->Painter.reset();
    FImpl->Writer.reset();
    throw EPrinter("Cannot write the print file");
  }
  FImpl->Surface.Dpi = FResolution;
  FImpl->Surface.Image = QImage(PageWidth(), PageHeight(), QImage::Format_RGB32);
  FImpl->Surface.Image.fill(Qt::white);
  FImpl->DC = GtCreateSurfaceDC(&FImpl->Surface);
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
  TCanvas* C = Canvas();
  C->Refresh();
  C->Font()->SetPixelsPerInch(FResolution);
}

void TPrinter::FlushPage() {
  QPainter& P = *FImpl->Painter;
  QRect Page(0, 0, FImpl->Writer->width(), FImpl->Writer->height());
  P.drawImage(Page, FImpl->Surface.Image);
}

void TPrinter::NewPage() {
  if (!FPrinting) throw EPrinter("Printing not in progress");
  FlushPage();
  FImpl->Writer->newPage();
  FImpl->Surface.Image.fill(Qt::white);
  Canvas()->Refresh();
  ++FPageNumber;
}

void TPrinter::EndDoc() {
  if (!FPrinting) throw EPrinter("Printing not in progress");
  FlushPage();
  FImpl->Canvas->SetHandle(nullptr);
  bool Ok = FImpl->Painter->end();
  FImpl->Painter.reset();
  FImpl->Writer.reset();
  DeleteDC(FImpl->DC);
  FImpl->DC = nullptr;
  FImpl->Surface.Image = QImage();
  FPrinting = false;
  FPageNumber = 0;
  if (!Ok) throw EPrinter("Cannot write the print file");
  if (FImpl->Temporary) {
    std::string File = FImpl->Target.toStdString();
    std::vector<std::string> Args{"lp", "-n", std::to_string(FCopies)};
    if (FPrinterIndex >= 0) {
      Args.push_back("-d");
      Args.push_back(WideToUtf8(Printers()->Strings(FPrinterIndex)));
    }
    if (!FTitle.empty()) {
      Args.push_back("-t");
      Args.push_back(WideToUtf8(FTitle));
    }
    Args.push_back(File);
    bool Sent = RunProgram(Args, nullptr);
    std::remove(File.c_str());
    if (!Sent) throw EPrinter("The print queue refused the document");
  }
}

void TPrinter::Abort() {
  if (!FPrinting) return;
  if (FImpl->Canvas) FImpl->Canvas->SetHandle(nullptr);
  if (FImpl->Painter) FImpl->Painter->end();
  FImpl->Painter.reset();
  FImpl->Writer.reset();
  if (FImpl->DC) DeleteDC(FImpl->DC);
  FImpl->DC = nullptr;
  FImpl->Surface.Image = QImage();
  if (FImpl->Temporary) std::remove(FImpl->Target.toStdString().c_str());
  FPrinting = false;
  FAborted = true;
  FPageNumber = 0;
}

TPrinter* Printer() {
  static TPrinter* P = new TPrinter;
  return P;
}
