// The internet client the picture loader downloads through: one GET (HTTP,
// HTTPS) or one binary file read (FTP) into the caller's hands, over libcurl.
// Certificates are verified unless the request opts out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

enum GtInternetService { gisHTTP = 1, gisHTTPS = 2, gisFTP = 3 };

struct GtInternetRequest {
  GtInternetService Service = gisHTTP;
  std::string Host;  // a name, an IPv4 address or a bracketed IPv6 address
  int Port = 80;
  std::string User, Password;  // the server's credentials; empty: none
  std::string Path = "/";      // for FTP relative to the login folder
  std::string Proxy;           // empty: direct
  std::string ProxyUser, ProxyPassword;  // sent to the proxy only
  std::string Agent;
  bool VerifyCertificates = true;  // chain, name and dates of an HTTPS server
  std::string CertificateFile;     // trust anchors to use instead of the system's
  int64_t MaxBytes = 0;            // more than this fails the transfer; 0: no limit
};

struct GtInternetResult {
  bool Connected = false;   // a connection was made and a response began
  long Status = 0;          // HTTP status, or the FTP reply code
  std::string ContentType;  // as the server sent it
  std::string Error;        // why the transfer failed, when it did
};

// Called once before the first data with the announced length (0 when the
// server announced none) and the content type.
using GtInternetStart = std::function<void(int64_t Expected, const std::string& ContentType)>;
// Called with each block as it arrives; false stops the transfer.
using GtInternetData = std::function<bool(const void* Data, size_t Count)>;

// Runs the transfer on the calling thread. True when the whole body arrived
// with a status below 400; Abort (may be nil) is read between blocks and
// while waiting, and stops the transfer when set.
bool GtInternetGet(const GtInternetRequest& Request, const GtInternetStart& OnStart, const GtInternetData& OnData,
                   std::atomic<bool>* Abort, GtInternetResult& Result);

// Process-wide set-up and release of the client library; the first is run by
// GtInternetGet when nobody ran it, the second balances every GtInternetStartup.
void GtInternetStartup();
void GtInternetShutdown();
