// Address parsing and downloads through the platform's internet client.
#include "imaging/io/ieurl.h"

#include <limits>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"
#include "platform/devices/internet.h"

bool IEURLVerifyCertificates = true;
WideString IEURLCertificateFile;
int64_t IEURLMaxBytes = int64_t(1) << 30;
const char* const IEURLAgent = "Mozilla/4.*";

namespace {

bool AllDigits(const WideString& S) {
  if (S.empty() || S.size() > 5) return false;
  for (char16_t c : S)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

bool IEParseURL(const WideString& URL, TIEURLParts& Parts) {
  Parts = TIEURLParts();
  Parts.Scheme = IEGetURLType(URL);
  if (Parts.Scheme == 0) return false;
  WideString rest = URL.substr(Parts.Scheme == 1 ? 7 : Parts.Scheme == 2 ? 8 : 6);
  // An address without a path asks for the root.
  const size_t slash = rest.find(u'/');
  WideString host = rest.substr(0, slash);
  Parts.Path = slash == WideString::npos ? WideString(u"/") : rest.substr(slash);
  const size_t at = host.rfind(u'@');
  if (at != WideString::npos) {
    const WideString cred = host.substr(0, at);
    const size_t colon = cred.find(u':');
    if (colon == WideString::npos) return false;
    Parts.User = cred.substr(0, colon);
    Parts.Password = cred.substr(colon + 1);
    host = host.substr(at + 1);
  }
  // "[::1]:8080": the port follows the bracket, not the address's own colons.
  size_t portColon = WideString::npos;
  if (!host.empty() && host[0] == u'[') {
    const size_t close = host.find(u']');
    if (close == WideString::npos) return false;
    if (close + 1 < host.size() && host[close + 1] == u':') portColon = close + 1;
  } else {
    portColon = host.find(u':');
  }
  if (portColon != WideString::npos) {
    const WideString port = host.substr(portColon + 1);
    Parts.Port = AllDigits(port) ? static_cast<Integer>(std::stoi(WideToUtf8(port))) : 80;
    if (Parts.Port > 65535) Parts.Port = 80;
    host = host.substr(0, portColon);
  } else {
    Parts.Port = Parts.Scheme == 1 ? 80 : Parts.Scheme == 2 ? 443 : 21;
  }
  if (host.empty()) return false;
  Parts.Host = host;
  return true;
}

bool IEDownloadURL(const WideString& URL, TStream* Dest, const WideString& Proxy, const WideString& ProxyUser,
                   const WideString& ProxyPassword, const TIEProgressEvent& OnProgress, TObject* Sender,
                   std::atomic<bool>* Aborting, WideString& ResponseText) {
  ResponseText.clear();
  TIEURLParts parts;
  if (!Dest || !IEParseURL(URL, parts)) return false;
  GtInternetRequest r;
  r.Service = parts.Scheme == 1 ? gisHTTP : parts.Scheme == 2 ? gisHTTPS : gisFTP;
  r.Host = WideToUtf8(parts.Host);
  r.Port = parts.Port;
  r.User = WideToUtf8(parts.User);
  r.Password = WideToUtf8(parts.Password);
  r.Path = WideToUtf8(parts.Path);
  r.Proxy = WideToUtf8(Proxy);
  r.ProxyUser = WideToUtf8(ProxyUser);
  r.ProxyPassword = WideToUtf8(ProxyPassword);
  r.Agent = IEURLAgent;
  r.VerifyCertificates = IEURLVerifyCertificates;
  r.CertificateFile = WideToUtf8(IEURLCertificateFile);
  r.MaxBytes = IEURLMaxBytes;

  int64_t expected = 0;
  int64_t written = 0;
  auto onStart = [&](int64_t Expected, const std::string& ContentType) {
    // FTP announces nothing: the 1 KB rule applies, without progress.
    expected = r.Service == gisFTP ? 0 : Expected;
    if (r.Service != gisFTP) {
      const size_t s = ContentType.find('/');
      if (s != std::string::npos) {
        std::string sub = ContentType.substr(s + 1);
        const size_t semi = sub.find(';');
        if (semi != std::string::npos) sub.erase(semi);
        ResponseText = Utf8ToWide(sub);
      }
    }
  };
  auto onData = [&](const void* Data, size_t Count) {
    if (Dest->Write(Data, static_cast<int64_t>(Count)) != static_cast<int64_t>(Count)) return false;
    written += static_cast<int64_t>(Count);
    if (expected > 0 && OnProgress) OnProgress(Sender, IEProgressPercent(written, 100.0 / double(expected)));
    return !(Aborting && Aborting->load());
  };
  GtInternetResult result;
  const bool ok = GtInternetGet(r, onStart, onData, Aborting, result);
  if (r.Service == gisFTP && result.Connected) {
    WideString ext = ExtractFileExt(parts.Path);
    if (!ext.empty() && ext[0] == u'.') ext.erase(0, 1);
    ResponseText = ext.size() > 10 ? ext.substr(0, 10) : ext;
  }
  if (!ok) {
    const WideString why = W("download of ") + URL + W(" failed: ") + Utf8ToWide(result.Error) +
                           (result.Status ? W(" (status ") + IntToStr(static_cast<Integer>(result.Status)) + W(")")
                                          : WideString());
    TZiduzUvIO::LogFailure(why);
  }
  return ok;
}
