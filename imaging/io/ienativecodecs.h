// The registry's calling shapes of the native codecs (imaging/formats): the
// format table names them here, each format's module defines its own, so
// that the I/O folder never includes a codec module.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "platform/base/classes.h"

class TIEBitmap;
class TIOParamsVals;
class TIELayerList;

void IEBMPReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEBMPWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEPNMReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEPNMWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEWBMPReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview);
void IEWBMPWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IETGAReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IETGAWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEPCXReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEPCXWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEDCXReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEDCXWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEICOReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEICOWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IECURReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEGIFReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEGIFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEBMPRAWReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                         bool Preview);
void IEPostScriptWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEPDFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEPSDReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEPSDWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
// A PSD document for a view that holds layers: its layers, bottom first,
// appended to Layers; the merged picture goes into Bitmap only when the
// document has no layers.
void IEReadPSDLayers(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     TIELayerList* Layers);
// Merged as the document's picture and Layers (nil or empty: Merged alone)
// as its layers. The layers are brought to the document's format in place.
void IEWritePSDLayers(TStream* Stream, TIEBitmap* Merged, TIOParamsVals& Params, TIEProgressRec& Progress,
                      TIELayerList* Layers);
void IERAWReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
// The CRW metadata heap of the camera file at position 0 (the RAW reader's;
// the plug-in reader asks for it too).
void IEReadRAWMetadata(TStream* Stream, TIOParamsVals& Params);
void IEHDPhotoReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                          bool Preview);
void IEHDPhotoWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEDICOMReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                        bool Preview);

// Images of a file by name (TIFF pictures, GIF frames, icon pictures, DCX
// pages), for the image counts of the I/O companion.
Integer IECountGIFFramesOfFile(const WideString& FileName);
Integer IECountTIFFImagesOfFile(const WideString& FileName);
Integer IECountDCXPagesOfFile(const WideString& FileName);
Integer IECountICOImagesOfFile(const WideString& FileName);
Integer IECountHDPhotoFrames(const WideString& FileName);
