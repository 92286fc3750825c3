// Layered PSD documents: the merged picture, the layers with their masks,
// names, opacity and visibility, and the image resources (resolution, IPTC,
// ICC profile, JPEG thumbnail, transparent palette index, XMP). Failures set
// the abort flag; nothing is raised.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

class TIELayer;

using TIEPSDLayerList = std::vector<std::unique_ptr<TIELayer>>;

// Reads the document at the stream position. The merged picture goes into
// Bitmap (nil: parameters only) unless layers were read with LoadLayers.
// With a list, the layers are appended to it bottom first, each user mask
// as an invisible IsMask layer right after its layer; without LoadLayers a
// document of one layer still gives that layer. Layers own their pictures
// and have no owner view.
void IEReadPSD(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool LoadLayers,
               TIEPSDLayerList* Layers);

// Writes Bitmap as the merged picture and one PSD layer per layer of Layers
// that is not a mask (a mask layer follows its layer); an empty list writes
// Bitmap as the only layer. The layers are brought to the document's pixel
// format and display size in place, as the caller's layers are the ones
// shown. Bitmap nil takes the format from the first layer's picture and
// writes that picture as the merged data.
void IEWritePSD(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, TIEBitmap* Bitmap,
                const std::vector<TIELayer*>& Layers);

// A picture read from a one-layer document takes that layer's alpha at the
// layer's position, clipped to the picture; outside the layer it is 0.
void IEPSDTakeLayerAlpha(TIEBitmap* Picture, TIELayer* Layer);

// The registry's shapes: a plain load reads the merged picture (with the
// alpha of a one-layer document); a save writes the picture as one layer.
void IEPSDReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEPSDWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
