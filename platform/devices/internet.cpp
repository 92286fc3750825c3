// libcurl behind GtInternetGet. Only the schemes a picture address may have
// are allowed, also after redirects, so an address cannot make the client
// read local files or talk other protocols.
#include "platform/devices/internet.h"

// The calls go through a table of the library opened on first use, where
// the header's checking macros cannot apply.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <mutex>

#include "platform/devices/private/dynlib.h"

namespace {

// libcurl and its TLS, directory and name libraries are opened by the first
// transfer, not by every start of the program.
#define GT_CURL_FUNCTIONS(X)                                                                                  \
  X(curl_global_init) X(curl_global_cleanup) X(curl_easy_init) X(curl_easy_cleanup) X(curl_easy_setopt)       \
  X(curl_easy_getinfo) X(curl_easy_perform) X(curl_easy_strerror) X(curl_slist_append) X(curl_slist_free_all)

struct TCurl : GtDynTable {
#define GT_CURL_POINTER(f) decltype(&::f) f = nullptr;
  GT_CURL_FUNCTIONS(GT_CURL_POINTER)
#undef GT_CURL_POINTER

  TCurl() {
    // The soname has stayed the same since 2006.
    Open({"libcurl.so.4"});
#define GT_CURL_BIND(f) Bind(f, #f);
    GT_CURL_FUNCTIONS(GT_CURL_BIND)
#undef GT_CURL_BIND
  }
};

// The loaded table, or nullptr when libcurl is missing (not retried).
const TCurl* LoadCurl() {
  static const TCurl table;
  return table.Ok() ? &table : nullptr;
}

std::mutex gInitLock;
int gInitCount = 0;      // start-ups not yet matched by a shut-down
bool gCurlReady = false;  // the library's global set-up has run

struct TTransfer {
  CURL* Curl = nullptr;
  const GtInternetStart* OnStart = nullptr;
  const GtInternetData* OnData = nullptr;
  std::atomic<bool>* Abort = nullptr;
  GtInternetResult* Result = nullptr;
  int64_t MaxBytes = 0;
  int64_t Received = 0;
  bool Started = false;
  bool Stopped = false;  // by the caller, the abort flag or the size limit
};

size_t WriteCb(char* Data, size_t Size, size_t Count, void* User) {
  auto* t = static_cast<TTransfer*>(User);
  const size_t n = Size * Count;
  try {
    if (!t->Started) {
      t->Started = true;
      curl_off_t length = -1;
      LoadCurl()->curl_easy_getinfo(t->Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
      char* type = nullptr;
      LoadCurl()->curl_easy_getinfo(t->Curl, CURLINFO_CONTENT_TYPE, &type);
      if (type) t->Result->ContentType = type;
      if (t->MaxBytes > 0 && length > t->MaxBytes) {
        t->Result->Error = "the announced size is beyond the limit";
        t->Stopped = true;
        return 0;
      }
      if (*t->OnStart) (*t->OnStart)(length > 0 ? static_cast<int64_t>(length) : 0, t->Result->ContentType);
    }
    if (t->Abort && t->Abort->load()) {
      t->Stopped = true;
      return 0;
    }
    t->Received += static_cast<int64_t>(n);
    if (t->MaxBytes > 0 && t->Received > t->MaxBytes) {
      t->Result->Error = "the transfer is beyond the size limit";
      t->Stopped = true;
      return 0;
    }
    if (n && *t->OnData && !(*t->OnData)(Data, n)) {
      t->Stopped = true;
      return 0;
    }
    return n;
  } catch (...) {
    // No exception may cross libcurl.
    t->Stopped = true;
    return 0;
  }
}

int ProgressCb(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<TTransfer*>(User);
  return (t->Abort && t->Abort->load()) ? 1 : 0;
}

}  // namespace

// The library's global set-up is not safe beside other threads' transfers;
// it runs once, under the lock, before the first transfer.
void GtInternetStartup() {
  std::lock_guard lock(gInitLock);
  ++gInitCount;
}

void GtInternetShutdown() {
  std::lock_guard lock(gInitLock);
  if (gInitCount <= 0) return;
  if (--gInitCount == 0 && gCurlReady) {
    LoadCurl()->curl_global_cleanup();
    gCurlReady = false;
  }
}

bool GtInternetGet(const GtInternetRequest& Request, const GtInternetStart& OnStart, const GtInternetData& OnData,
                   std::atomic<bool>* Abort, GtInternetResult& Result) {
  Result = GtInternetResult();
  const TCurl* lib = LoadCurl();
  if (!lib) {
    Result.Error = "the internet library cannot be loaded";
    return false;
  }
  const TCurl& cu = *lib;
  {
    // A client used before start-up sets itself up once for the process.
    std::lock_guard lock(gInitLock);
    if (gInitCount == 0) gInitCount = 1;
    if (!gCurlReady) {
      cu.curl_global_init(CURL_GLOBAL_DEFAULT);
      gCurlReady = true;
    }
  }
  CURL* c = cu.curl_easy_init();
  if (!c) {
    Result.Error = "no client";
    return false;
  }
  const char* scheme = Request.Service == gisHTTPS ? "https" : Request.Service == gisFTP ? "ftp" : "http";
  std::string path = Request.Path;
  if (Request.Service == gisFTP) {
    // Relative to the login folder, as the address names it.
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    path = "/" + path;
  }
  const std::string url = std::string(scheme) + "://" + Request.Host + ":" + std::to_string(Request.Port) + path;
  TTransfer t;
  t.Curl = c;
  t.OnStart = &OnStart;
  t.OnData = &OnData;
  t.Abort = Abort;
  t.Result = &Result;
  t.MaxBytes = Request.MaxBytes;

  cu.curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  cu.curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  cu.curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  cu.curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  cu.curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  cu.curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  cu.curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  cu.curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  cu.curl_easy_setopt(c, CURLOPT_USERAGENT, Request.Agent.c_str());
  cu.curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  cu.curl_easy_setopt(c, CURLOPT_TRANSFER_ENCODING, 0L);
  cu.curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 65536L);
  // A stalled server ends the transfer instead of holding the caller forever.
  cu.curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  cu.curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  cu.curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
  if (Request.MaxBytes > 0) cu.curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(Request.MaxBytes));
  if (!Request.User.empty() || !Request.Password.empty()) {
    cu.curl_easy_setopt(c, CURLOPT_USERNAME, Request.User.c_str());
    cu.curl_easy_setopt(c, CURLOPT_PASSWORD, Request.Password.c_str());
  }
  if (!Request.Proxy.empty()) {
    cu.curl_easy_setopt(c, CURLOPT_PROXY, Request.Proxy.c_str());
    if (!Request.ProxyUser.empty() || !Request.ProxyPassword.empty()) {
      cu.curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, Request.ProxyUser.c_str());
      cu.curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, Request.ProxyPassword.c_str());
    }
  } else {
    // No proxy from the environment either: the caller decides.
    cu.curl_easy_setopt(c, CURLOPT_PROXY, "");
  }
  cu.curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, Request.VerifyCertificates ? 1L : 0L);
  cu.curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, Request.VerifyCertificates ? 2L : 0L);
  if (!Request.CertificateFile.empty()) cu.curl_easy_setopt(c, CURLOPT_CAINFO, Request.CertificateFile.c_str());
  cu.curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 1L);
  cu.curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
  // The picture comes from the server, not from a cache between.
  struct curl_slist* headers = nullptr;
  if (Request.Service != gisFTP) {
    headers = cu.curl_slist_append(headers, "Cache-Control: no-cache");
    headers = cu.curl_slist_append(headers, "Pragma: no-cache");
    cu.curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  }
  cu.curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteCb);
  cu.curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  cu.curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  cu.curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, ProgressCb);
  cu.curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);

  const CURLcode rc = cu.curl_easy_perform(c);
  long code = 0;
  cu.curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  Result.Status = code;
  Result.Connected = code != 0 || t.Started;
  if (rc != CURLE_OK && Result.Error.empty()) Result.Error = cu.curl_easy_strerror(rc);
  // An empty body still starts: the caller hears the type and length.
  if (rc == CURLE_OK && !t.Started && OnStart) {
    char* type = nullptr;
    cu.curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type);
    if (type) Result.ContentType = type;
    OnStart(0, Result.ContentType);
  }
  if (headers) cu.curl_slist_free_all(headers);
  cu.curl_easy_cleanup(c);
  const bool httpOk = Request.Service == gisFTP || (code > 0 && code < 400);
  return rc == CURLE_OK && !t.Stopped && httpOk;
}
