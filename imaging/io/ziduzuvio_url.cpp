// Loading a picture from an address: the whole download into memory, then
// the stream load that finds the format by content. The memory stream lives
// inside this call, so an asynchronous call hands the whole call to the
// worker, never the stream.
#include <mutex>

#include "imaging/io/ieurl.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/classes.h"

void TZiduzUvIO::LoadFromURL(const WideString& URL) {
  if (HandOver([this, URL] { LoadFromURL(URL); })) return;
  TMemoryStream data;
  WideString responseText;
  SetAborting(false);
  bool ok = false;
  try {
    ok = IEDownloadURL(
        URL, &data, FURLProxy, FURLProxyUser, FURLProxyPassword,
        [this](TObject* Sender, Integer per) { DoProgress(Sender, per); }, this, &FAborting, responseText);
  } catch (...) {
    LogFailure(IECurrentExceptionText());
    ok = false;
  }
  if (!ok) {
    std::lock_guard op(FOperationLock);
    SetAborting(true);
    DoFinishWork();
    return;
  }
  data.SetPosition(0);
  LoadFromStream(&data);
}
