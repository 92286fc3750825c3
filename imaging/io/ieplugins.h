// Format plug-ins: shared libraries outside the program that read, write or
// recognise image formats through the IEX_ entry points (ieplugins_protocol.h).
// Each format a library reports becomes one registry entry with id 4096 + n.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieplugins_protocol.h"
#include "platform/base/classes.h"

class TIEBitmap;
class TIOParamsVals;

// One registered plug-in format.
struct TIEIOPlugin {
  void* LibHandle = nullptr;  // one reference on the library, per format
  IEX_InitializeFunc Initialize = nullptr;
  IEX_FinalizeFunc Finalize = nullptr;
  IEX_GetInfoFunc GetInfo = nullptr;
  IEX_SetInfoFunc SetInfo = nullptr;
  IEX_SetCallBacksFunc SetCallBacks = nullptr;
  IEX_ExecuteReadFunc ExecuteRead = nullptr;
  IEX_ExecuteWriteFunc ExecuteWrite = nullptr;
  IEX_ExecuteTryFunc ExecuteTry = nullptr;
  IEX_AddParameterFunc AddParameter = nullptr;
  TIEFileType FileType = 0;
  std::unique_ptr<std::mutex> Lock;  // nil when the plug-in is thread-safe
  uint32_t Capabilities = 0;
  Integer FormatIndex = 0;
  WideString FileName;  // as passed to IEFormatPlugin loading
  bool CDecl = false;   // the library exports IEX_UseCDECL
};

// Loads the library (a path, or a name the dynamic loader finds) and
// registers each of its formats. The id of the last format registered; 0
// when the library is already loaded (by file name without folder), cannot
// be loaded or lacks an entry point.
Integer IELoadFormatPlugin(const WideString& FileName);
// Unregisters every plug-in format and frees the libraries.
void IEUnloadFormatPlugins();
// The loaded plug-in formats, in load order (the caller must not keep the
// pointers past IEUnloadFormatPlugins).
std::vector<const TIEIOPlugin*> IEFormatPlugins();

// The registry routines of a plug-in format.
void IEPluginRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview);
void IEPluginWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
bool IEPluginTry(TStream* Stream, TIEFileType FileType);

// The file name (without folder) of the camera RAW plug-in: the one whose
// thumbnail reads ask for the embedded preview ("-e") before decoding. The
// default is the RAW plug-in built with the program.
void IESetRAWPluginName(const WideString& FileName);
WideString IEGetRAWPluginName();
