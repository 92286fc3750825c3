// Pictures from addresses: the address parser, the download into a stream,
// and the settings that govern every download.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/core/base/ieprogress.h"
#include "platform/base/classes.h"

// The parts of an "http://", "https://" or "ftp://" address.
struct TIEURLParts {
  Integer Scheme = 0;  // 1 http, 2 https, 3 ftp
  WideString Host;     // an IPv6 address keeps its brackets
  Integer Port = 0;
  WideString User, Password;
  WideString Path;     // from the first "/" on; "/" when the address has none
};

// Splits URL. False for another scheme, or for credentials before "@"
// without ":". A port that is not a number is 80; without a port, 80, 443
// or 21 by scheme.
bool IEParseURL(const WideString& URL, TIEURLParts& Parts);

// Certificates of HTTPS servers are checked (chain, name, dates) unless this
// is cleared; IEURLCertificateFile, when set, names the trust anchors to use
// instead of the system's (a private authority).
extern bool IEURLVerifyCertificates;
extern WideString IEURLCertificateFile;
// A download longer than this fails (announced or not).
extern int64_t IEURLMaxBytes;

// Downloads URL into Dest, at its position. Proxy credentials go to the
// proxy, the address's own to the server. With a known length the progress
// is reported per block as the part received; Aborting (may be nil) stops
// between blocks. ResponseText: the content type after its "/" ("jpeg"), or
// for FTP the file's extension (at most 10 characters). False when the
// address cannot be parsed, no connection was made, the server answered
// with an error status (400 and above), the transfer broke off or exceeded
// IEURLMaxBytes, or Aborting stopped it.
bool IEDownloadURL(const WideString& URL, TStream* Dest, const WideString& Proxy, const WideString& ProxyUser,
                   const WideString& ProxyPassword, const TIEProgressEvent& OnProgress, TObject* Sender,
                   std::atomic<bool>* Aborting, WideString& ResponseText);

// The agent every request names.
extern const char* const IEURLAgent;
