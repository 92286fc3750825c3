// Compositing of layers that carry their own placement (position, size,
// mask, rotation, magnifier, cropping), the layer decorations, the area
// outside layer 0, and rendering or flattening the whole stack.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/core/render/ierender.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/colors.h"

namespace {

Integer TruncInt(double V) {
  if (!std::isfinite(V)) return 0;
  return static_cast<Integer>(std::clamp(std::trunc(V), -2147483648.0, 2147483647.0));
}

// The alpha byte of a layer picture, 255 without alpha channel.
inline Byte AlphaOf(TIEBitmap* B, Integer X, Integer Y) {
  return B->HasAlphaChannel() ? static_cast<const Byte*>(B->GetAlphaChannel()->GetScanline(Y))[X] : 255;
}

// Restores a layer's placement fields when the draw ends, however it ends.
struct TKeptPlacement {
  TIELayer* L;
  Integer Width, Height, PosX, PosY;
  explicit TKeptPlacement(TIELayer* Layer)
      : L(Layer), Width(Layer->Width), Height(Layer->Height), PosX(Layer->PosX), PosY(Layer->PosY) {}
  ~TKeptPlacement() {
    L->Width = Width;
    L->Height = Height;
    L->PosX = PosX;
    L->PosY = PosY;
  }
};

}  // namespace

// Pixels the supersampled copy of a rotated layer may hold, and the factor.
int64_t IELayerRotationMaxPixels = int64_t(16) << 20;

double IELayerSupersample(Integer W, Integer H, double Angle) {
  if (W <= 0 || H <= 0) return 0;
  const double a = std::fmod(std::fabs(Angle), 180.0) * M_PI / 180.0;
  // The turned copy's box grows by this factor on each side at most.
  const double grow = std::fabs(std::cos(a)) + std::fabs(std::sin(a));
  const double area = double(W) * double(H) * grow * grow;
  for (Integer k = 5; k >= 1; --k)
    if (area * k * k <= double(IELayerRotationMaxPixels)) return k;
  // Even one copy at display size is too large: draw from a smaller one.
  return std::sqrt(double(IELayerRotationMaxPixels) / area);
}

std::unique_ptr<TIEBitmap> TZiduzUvView::ComposeMaskAlpha(TIELayer* Layer, TIELayer* Mask) {
  TIEBitmap* lb = Layer->Bitmap;
  const Integer bw = lb->Width(), bh = lb->Height();
  const Integer mw = Mask->Bitmap->Width(), mh = Mask->Bitmap->Height();
  if (bw <= 0 || bh <= 0 || mw <= 0 || mh <= 0) return nullptr;
  const double lx = double(Mask->GetWidth()) / mw, ly = double(Mask->GetHeight()) / mh;
  // A mask shown 0 pixels wide or high has nothing to compose with.
  if (lx == 0 || ly == 0) return nullptr;
  // The mask is read as grey through a copy: the user's mask layer keeps
  // its format and its own alpha.
  TIEBitmap grey;
  grey.Assign(Mask->Bitmap);
  grey.RemoveAlphaChannel(false, 0);
  if (grey.PixelFormat() != ie8g && !grey.ConvertToPixelFormat(ie8g)) return nullptr;
  auto out = std::make_unique<TIEBitmap>();
  if (!out->Allocate(bw, bh, ie8g)) return nullptr;
  const double dw = Layer->GetWidth(), dh = Layer->GetHeight();
  std::vector<Integer> kx(size_t(bw) + 0), ky(size_t(bh) + 0);
  for (Integer j = 0; j < bw; ++j)
    kx[size_t(j)] = static_cast<Integer>(Round(j * (dw / bw) / lx - Mask->PosX / lx + Layer->PosX / lx));
  for (Integer r = 0; r < bh; ++r)
    ky[size_t(r)] = static_cast<Integer>(Round(r * (dh / bh) / ly - Mask->PosY / ly + Layer->PosY / ly));
  const bool crop = FLayersCropping == 1;
  const Integer w0 = FLayers.front()->Bitmap->Width(), h0 = FLayers.front()->Bitmap->Height();
  const Byte cv = static_cast<Byte>(std::clamp(FLayersCroppingValue, 0, 255));
  for (Integer r = 0; r < bh; ++r) {
    Byte* dst = static_cast<Byte*>(out->GetScanline(r));
    const Integer mr = ky[size_t(r)];
    if (crop) {
      const int64_t iy = int64_t(Round(ly * mr)) + Layer->PosY;
      if (iy < 0 || iy > h0) {
        std::memset(dst, cv, size_t(bw));
        continue;
      }
    }
    const Byte* mrow = mr >= 0 && mr < mh ? static_cast<const Byte*>(grey.GetScanline(mr)) : nullptr;
    for (Integer j = 0; j < bw; ++j) {
      const Integer mc = kx[size_t(j)];
      const Byte a = AlphaOf(lb, j, r);
      Byte v = mrow && mc >= 0 && mc < mw ? std::min(a, mrow[mc]) : 0;
      if (crop) {
        const int64_t ix = int64_t(Round(lx * mc)) + Layer->PosX;
        if (ix < 0 || ix > w0) v = std::min(v, cv);
      }
      dst[j] = v;
    }
  }
  out->SyncFull();
  return out;
}

void TZiduzUvView::DrawPlacedLayer(TIEBitmap* Target, std::unique_ptr<TIERowTable>& Rows, const TRect* Clip,
                                   Integer Index, bool& First, bool DrawBackground, bool DrawDecorations) {
  TIELayer* layer = FLayers[size_t(Index)].get();
  TKeptPlacement kept(layer);
  TIEBitmap* bmp = layer->Bitmap;

  // Mask: the layer above when it is one, or the whole-layer mask that
  // cropping mode 1 needs.
  TIELayer* mask = nullptr;
  std::unique_ptr<TIELayer> tempMask;
  if (Index + 1 < LayersCount() && FLayers[size_t(Index) + 1]->IsMask && !layer->IsMask && layer->Rotate() == 0) {
    mask = FLayers[size_t(Index) + 1].get();
  } else if (Index > 0 && FLayersCropping == 1) {
    tempMask = std::make_unique<TIELayer>(this, nullptr, false);
    tempMask->PosX = layer->PosX;
    tempMask->PosY = layer->PosY;
    tempMask->Width = layer->Width;
    tempMask->Height = layer->Height;
    if (tempMask->Bitmap->Allocate(bmp->Width(), bmp->Height(), ie8g)) tempMask->Bitmap->Fill(255);
    mask = tempMask.get();
  }
  if (mask && !layer->MaskCache) layer->MaskCache = ComposeMaskAlpha(layer, mask);

  // The picture actually drawn, and what it replaces for this draw.
  TIEBitmap* draw = bmp;
  std::unique_ptr<TIEBitmap> temp, tempAlpha;
  std::unique_ptr<TIEBitmap> ownAlpha;
  bool swappedAlpha = false;
  if (mask && layer->MaskCache) {
    ownAlpha = bmp->AttachAlphaChannel(std::move(layer->MaskCache));
    swappedAlpha = true;
  }
  struct TAlphaBack {
    TIELayer* L;
    std::unique_ptr<TIEBitmap>& Own;
    bool& Swapped;
    ~TAlphaBack() {
      if (Swapped) L->MaskCache = L->Bitmap->AttachAlphaChannel(std::move(Own));
    }
  } alphaBack{layer, ownAlpha, swappedAlpha};

  const double zx = FZoomFactorX, zy = FZoomFactorY;
  if (layer->Rotate() != 0) {
    const Integer w = layer->GetWidth(), h = layer->GetHeight();
    const double k = IELayerSupersample(w, h, layer->Rotate());
    const Integer sw = std::max(1, TruncInt(w * k)), shh = std::max(1, TruncInt(h * k));
    // A supersampled copy that cannot be had is not drawn at all, rather
    // than drawn from an empty picture.
    TIEBitmap big, bigAlpha;
    if (k <= 0 || !big.Allocate(sw, shh, bmp->PixelFormat()) || !bigAlpha.Allocate(sw, shh, ie8g)) return;
    IEStretchNearest(bmp, &big);
    if (bmp->HasAlphaChannel()) {
      IEStretchNearest(bmp->GetAlphaChannel(), &bigAlpha);
    } else {
      bigAlpha.Fill(255);
    }
    temp = std::make_unique<TIEBitmap>();
    auto rotatedAlpha = std::make_unique<TIEBitmap>();
    if (!IERotateIntoBitmap(&big, temp.get(), 0, layer->Rotate(), nullptr, nullptr) ||
        !IERotateIntoBitmap(&bigAlpha, rotatedAlpha.get(), 0, layer->Rotate(), nullptr, nullptr) ||
        temp->IsEmpty() || rotatedAlpha->Width() != temp->Width() || rotatedAlpha->Height() != temp->Height())
      return;
    (void)temp->AttachAlphaChannel(std::move(rotatedAlpha));
    draw = temp.get();
    layer->Width = std::max(1, TruncInt(temp->Width() / k));
    layer->Height = std::max(1, TruncInt(temp->Height() / k));
    TPoint c[4] = {TPoint(0, 0), TPoint(w, 0), TPoint(w, h), TPoint(0, h)};
    IERotatePoints(c, 3, TruncInt(w * layer->RotateCenterX), TruncInt(h * layer->RotateCenterY), layer->Rotate());
    Integer minX = c[0].X, minY = c[0].Y;
    for (const TPoint& p : c) {
      minX = std::min(minX, p.X);
      minY = std::min(minY, p.Y);
    }
    layer->PosX = kept.PosX + minX;
    layer->PosY = kept.PosY + minY;
    for (int i = 0; i < 4; ++i)
      layer->DrawnCorners[i] = TPoint(TruncInt((c[i].X + kept.PosX) * zx) + FOffsetX - FViewX,
                                      TruncInt((c[i].Y + kept.PosY) * zy) + FOffsetY - FViewY);
  } else if (Index > 0 && layer->Magnify.Enabled && layer->Magnify.Rate >= 1.0) {
    // The magnifier draws through a copy of the display size: the layer's
    // own pixels are never cut to it.
    temp = std::make_unique<TIEBitmap>();
    temp->Assign(bmp);
    temp->RemoveAlphaChannel(false, 0);
    if (temp->PixelFormat() != ie24RGB && !temp->ConvertToPixelFormat(ie24RGB)) return;
    if (layer->Width > 0) temp->SetWidth(layer->Width);
    if (layer->Height > 0) temp->SetHeight(layer->Height);
    const Integer bw = temp->Width(), bh = temp->Height();
    if (bw <= 0 || bh <= 0) return;
    const double rate = layer->Magnify.Rate;
    const Integer sw = TruncInt(bw / (rate / zx)), sh = TruncInt(bh / (rate / zy));
    const Integer cx = ImageToClientX(layer->PosX) + TruncInt(bw * zx / 2);
    const Integer cy = ImageToClientY(layer->PosY) + TruncInt(bh * zy / 2);
    const TRect area(cx - sw / 2, cy - sh / 2, cx + sw - sw / 2, cy + sh - sh / 2);
    if (sw > 0 && sh > 0) {
      if (layer->Magnify.Source == 1) {
        // What is drawn below, from the target itself.
        TIEBitmap part;
        if (part.Allocate(sw, sh, ie24RGB)) {
          part.Fill(0);
          Target->CopyRectTo(&part, area.Left, area.Top, 0, 0, sw, sh);
          const Integer ox = std::max(0, -area.Left), oy = std::max(0, -area.Top);
          if (ox > 0 || oy > 0) {
            part.Fill(0);
            Target->CopyRectTo(&part, std::max(area.Left, 0), std::max(area.Top, 0), ox, oy, sw - ox, sh - oy);
          }
          IEStretchNearest(&part, temp.get());
        }
      } else {
        TIEBitmap* l0 = FLayers.front()->Bitmap;
        const Integer x1 = ClientToImageX(area.Left), y1 = ClientToImageY(area.Top);
        const Integer x2 = ClientToImageX(area.Right), y2 = ClientToImageY(area.Bottom);
        const Integer iw = x2 - x1 + 1, ih = y2 - y1 + 1;
        const Integer w0 = l0->Width(), h0 = l0->Height();
        if (x1 >= 0 && y1 >= 0 && x1 < w0 - iw && y1 < h0 - ih && iw < w0 && ih < h0) {
          temp->Fill(0);
          std::unique_ptr<TIERowTable> rows;
          std::unique_ptr<TIEMapTable> mx, my;
          const TResampleFilter f = layer->UseResampleFilter ? layer->ResampleFilter : FZoomFilter;
          RenderToTIEBitmapEx(*l0, temp.get(), rows, mx, my, nullptr, 0, 0, bw, bh, x1, y1, iw, ih, false, false, 255,
                              f, true, 0);
        }
      }
    }
    TIEBitmap* a = temp->GetAlphaChannel();
    if (layer->Magnify.Style == 0) {
      a->Fill(255);
    } else {
      // A filled ellipse of 255 in (0, 0, bw - 1, bh - 1).
      a->Fill(0);
      const double rx = (bw - 1) / 2.0, ry = (bh - 1) / 2.0;
      for (Integer y = 0; y < bh; ++y) {
        Byte* row = static_cast<Byte*>(a->GetScanline(y));
        for (Integer x = 0; x < bw; ++x) {
          const double u = rx > 0 ? (x - rx) / (rx + 0.5) : 0, v = ry > 0 ? (y - ry) / (ry + 0.5) : 0;
          if (u * u + v * v <= 1.0) row[x] = 255;
        }
      }
      a->SetFull(false);
    }
    draw = temp.get();
  }

  // Destination, each edge moved by a pixel toward where the conversion
  // back says the layer starts and ends.
  auto place = [](Integer c, Integer back, Integer want) { return back < want ? c + 1 : back > want ? c - 1 : c; };
  const Integer dispW = layer->GetWidth(), dispH = layer->GetHeight();
  Integer x = ImageToClientX(layer->PosX);
  x = place(x, ClientToImageX(x), layer->PosX);
  Integer y = ImageToClientY(layer->PosY);
  y = place(y, ClientToImageY(y), layer->PosY);
  Integer right = ImageToClientX(layer->PosX + dispW);
  right = place(right, ClientToImageX(right), layer->PosX + dispW);
  Integer bottom = ImageToClientY(layer->PosY + dispH);
  bottom = place(bottom, ClientToImageY(bottom), layer->PosY + dispH);
  Integer w = right - x, h = bottom - y;
  const Integer bw = draw->Width(), bh = draw->Height();
  Integer sx = 0, sy = 0, sw = bw, sh = bh;
  layer->ClientAreaBox = TRect(x, y, x + w, y + h);
  if (layer->Cropped && dispW > 0 && dispH > 0) {
    if (ClientToImageX(x) < 0) {
      sx = -TruncInt(double(bw) / dispW * layer->PosX);
      sw = bw - sx;
      x = ImageToClientX(0);
      w = ImageToClientX(layer->PosX + dispW) - x;
    }
    if (ClientToImageY(y) < 0) {
      sy = -TruncInt(double(bh) / dispH * layer->PosY);
      sh = bh - sy;
      y = ImageToClientY(0);
      h = ImageToClientY(layer->PosY + dispH) - y;
    }
    const Integer w0 = FLayers.front()->Bitmap->Width(), h0 = FLayers.front()->Bitmap->Height();
    const Integer boxW = layer->ClientAreaBox.Width(), boxH = layer->ClientAreaBox.Height();
    if (w0 < ClientToImageX(x + w) && boxW > 0) {
      w = ImageToClientX(w0) - x;
      sw = TruncInt(double(bw) / boxW * w);
    }
    if (h0 < ClientToImageY(y + h) && boxH > 0) {
      h = ImageToClientY(h0) - y;
      sh = TruncInt(double(bh) / boxH * h);
    }
  }

  if (First && DrawBackground) {
    const bool opaque = !FEnableAlphaChannel || !draw->HasAlphaChannel() || draw->GetAlphaChannel()->Full();
    const bool covers = x <= 0 && y <= 0 && x + w >= Target->Width() && y + h >= Target->Height();
    if (!(covers && opaque && layer->Transparency == 255)) PaintLayersBackground(Target, Clip);
    if (Rows && Rows->front() != Target->GetScanline(0)) Rows.reset();
  }
  const bool sizeOverride = layer->Width != 0 || layer->Height != 0;
  TResampleFilter filter = rfNone;
  if (FFilterDelayCount < 1 && (sizeOverride || FZoomX != 100 || FZoomY != 100))
    filter = layer->UseResampleFilter ? layer->ResampleFilter : FZoomFilter;
  // A cropped source can be left without a single column or row.
  if (w > 0 && h > 0 && sw > 0 && sh > 0) {
    Integer clip4[4] = {0, 0, 0, 0};
    if (Clip) {
      clip4[0] = Clip->Left;
      clip4[1] = Clip->Top;
      clip4[2] = Clip->Right;
      clip4[3] = Clip->Bottom;
    }
    std::unique_ptr<TIEMapTable> mx, my;
    RenderToTIEBitmapEx(*draw, Target, Rows, mx, my, Clip ? clip4 : nullptr, x, y, w, h, sx, sy, sw, sh,
                        FEnableAlphaChannel, First && FBackgroundStyle == iebsSolid, layer->Transparency, filter, true,
                        layer->Operation);
  }
  const Integer drawn[8] = {x, y, w, h, sx, sy, sw, sh};
  std::copy(drawn, drawn + 8, layer->DrawnRect);
  if (DrawDecorations) DrawLayerDecorations(Target, Clip, Index);
  First = false;
}

// ---------------------------------------------------------------------------
// Decorations

void TZiduzUvView::SetLayersGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, Integer Size,
                                      Integer Shape) {
  FLayersGripPenColor = PenColor;
  FLayersGripBrushColor = BrushColor;
  FLayersGripBrushStyle = BrushStyle;
  FLayersGripSize = Size;
  FLayersGripShape = Shape;
}

void TZiduzUvView::GetLayerGripRects(Integer Layer, TRect (&Rects)[8]) {
  TIELayer* l = Layers(Layer);
  const Integer s = FLayersGripSize;
  TPoint p[8];
  if (l->Rotate() == 0) {
    const TRect& b = l->ClientAreaBox;
    p[0] = TPoint(b.Left, b.Top);
    p[1] = TPoint(b.Right, b.Top);
    p[2] = TPoint(b.Right, b.Bottom);
    p[3] = TPoint(b.Left, b.Bottom);
    p[4] = TPoint(b.Left, (b.Top + b.Bottom) / 2);
    p[5] = TPoint(b.Right, (b.Top + b.Bottom) / 2);
    p[6] = TPoint((b.Left + b.Right) / 2, b.Top);
    p[7] = TPoint((b.Left + b.Right) / 2, b.Bottom);
  } else {
    const TPoint* c = l->DrawnCorners;
    for (int i = 0; i < 4; ++i) p[i] = c[i];
    auto mid = [](TPoint a, TPoint b) { return TPoint((a.X + b.X) / 2, (a.Y + b.Y) / 2); };
    p[4] = mid(c[0], c[3]);
    p[5] = mid(c[1], c[2]);
    p[6] = mid(c[0], c[1]);
    p[7] = mid(c[2], c[3]);
  }
  for (int i = 0; i < 8; ++i) Rects[i] = TRect(p[i].X - s, p[i].Y - s, p[i].X + s, p[i].Y + s);
}

TIEGrip TZiduzUvView::FindLayerGrip(Integer X, Integer Y) {
  if (FCurrentLayer < 0 || FCurrentLayer >= LayersCount()) return TIEGrip(0);
  TRect r[8];
  GetLayerGripRects(FCurrentLayer, r);
  for (int i = 0; i < 8; ++i)
    if (X >= r[i].Left && X <= r[i].Right && Y >= r[i].Top && Y <= r[i].Bottom) return TIEGrip(ieTopLeft + i);
  return TIEGrip(0);
}

void TZiduzUvView::DrawLayerBox(TIEBitmap* Target, Integer Layer) {
  TBitmap* tb = Target->GetVclBitmap();
  if (OnDrawLayerBox) {
    OnDrawLayerBox(this, tb, Layer);
    Target->SyncWithTBitmap();
    return;
  }
  TIELayer* l = Layers(Layer);
  TCanvas* c = tb->Canvas();
  TPen keep;
  keep.Assign(c->Pen());
  c->Pen()->SetStyle(psDot);
  c->Pen()->SetMode(pmNot);
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(bsClear);
  if (l->Rotate() != 0) {
    c->Polygon(l->DrawnCorners, 3);
  } else {
    const TRect& b = l->ClientAreaBox;
    c->Rectangle(b.Left, b.Top, b.Right, b.Bottom);
  }
  c->Pen()->Assign(&keep);
  c->Brush()->SetStyle(bsSolid);
  Target->SyncWithTBitmap();
}

void TZiduzUvView::DrawLayerGrips(TIEBitmap* Target, Integer Layer) {
  TRect r[8];
  GetLayerGripRects(Layer, r);
  TBitmap* tb = Target->GetVclBitmap();
  if (OnDrawLayerGrip) {
    for (int i = 0; i < 8; ++i) OnDrawLayerGrip(this, tb, Layer, i, r[i]);
    Target->SyncWithTBitmap();
    return;
  }
  TCanvas* c = tb->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(FLayersGripPenColor);
  c->Brush()->SetStyle(FLayersGripBrushStyle);
  c->Brush()->SetColor(FLayersGripBrushColor);
  for (const TRect& g : r) {
    if (FLayersGripShape == 0)
      c->Rectangle(g.Left, g.Top, g.Right, g.Bottom);
    else
      c->Ellipse(g.Left, g.Top, g.Right, g.Bottom);
  }
  c->Brush()->SetStyle(bsSolid);
  Target->SyncWithTBitmap();
}

void TZiduzUvView::DrawLayerRotationCenter(TIEBitmap* Target, Integer Layer) {
  // The rotation interaction turns the layer about this point.
  TIELayer* l = Layers(Layer);
  const Integer s = FLayersGripSize;
  const TRect& b = l->ClientAreaBox;
  const Integer cx = b.Left + TruncInt(b.Width() * l->RotateCenterX);
  const Integer cy = b.Top + TruncInt(b.Height() * l->RotateCenterY);
  TCanvas* c = Target->GetVclBitmap()->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(FLayersGripPenColor);
  c->Brush()->SetStyle(FLayersGripBrushStyle);
  c->Brush()->SetColor(FLayersGripBrushColor);
  c->Ellipse(cx - s, cy - s, cx + s, cy + s);
  c->Brush()->SetStyle(bsSolid);
  Target->SyncWithTBitmap();
}

void TZiduzUvView::DrawLayerOuter(TIEBitmap* Target, Integer Layer) {
  const TRect& b = Layers(Layer)->ClientAreaBox;
  for (Integer y = 0; y < Target->Height(); ++y) {
    Byte* row = static_cast<Byte*>(Target->GetScanline(y));
    const bool rowOut = y < b.Top || y > b.Bottom;
    for (Integer x = (y & 1); x < Target->Width(); x += 2) {
      if (!rowOut && x >= b.Left && x <= b.Right) continue;
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 97;
    }
  }
}

void TZiduzUvView::DrawLayerDecorations(TIEBitmap* Target, const TRect* /*Clip*/, Integer Index) {
  TIELayer* l = FLayers[size_t(Index)].get();
  const bool current = Index == FCurrentLayer;
  if (l->VisibleBox) {
    if (current) {
      if (FMouseInteract.Contains(miMoveLayers) || FMouseInteract.Contains(miResizeLayers)) DrawLayerBox(Target, Index);
      if (FMouseInteract.Contains(miResizeLayers) && !l->Locked) DrawLayerGrips(Target, Index);
      if (FMouseInteract.Contains(miRotateLayers)) DrawLayerRotationCenter(Target, Index);
    } else if (FDrawAllLayerBoxes) {
      DrawLayerBox(Target, Index);
    }
  }
  if (l->DrawOuter && current) DrawLayerOuter(Target, Index);
}

void TZiduzUvView::DrawLayersCropping(TIEBitmap* Target, const TRect* Clip) {
  if (FLayersCropping != 2 && FLayersCropping != 3) return;
  const Integer* d = FLayers.front()->DrawnRect;
  const Integer x0 = d[0], y0 = d[1], w0 = d[2], h0 = d[3];
  Integer cx1 = 0, cy1 = 0, cx2 = Target->Width() - 1, cy2 = Target->Height() - 1;
  if (Clip) {
    cx1 = std::max(cx1, Clip->Left);
    cy1 = std::max(cy1, Clip->Top);
    cx2 = std::min(cx2, Clip->Right);
    cy2 = std::min(cy2, Clip->Bottom);
  }
  const Integer add = FLayersCroppingValue;
  for (Integer y = cy1; y <= cy2; ++y) {
    Byte* row = static_cast<Byte*>(Target->GetScanline(y));
    for (Integer x = cx1; x <= cx2; ++x) {
      Byte* p = row + 3 * x;
      if (FLayersCropping == 2) {
        // The edges themselves count as inside here.
        if ((x < x0 || x > x0 + w0 || y < y0 || y > y0 + h0) && (x + y) % 2 == 0) p[0] = p[1] = p[2] = 128;
      } else if (x < x0 || x >= x0 + w0 || y < y0 || y >= y0 + h0) {
        for (int k = 0; k < 3; ++k) p[k] = static_cast<Byte>(std::clamp(p[k] + add, 0, 255));
      }
    }
  }
}

void TZiduzUvView::DrawSelectionOverlay(TIEBitmap* Target) {
  if (!FSelected || !FSelectionVisible || !FCurrentPolygon->Visible) return;
  const bool filled = FSelectionOptions.Contains(iesoFilled), outer = FSelectionOptions.Contains(iesoMarkOuter);
  if (!filled && !outer) return;
  const Integer* d = GetCurrentLayer()->DrawnRect;
  TBitmap* tb = Target->GetVclBitmap();
  if (filled) FSelectionMask->DrawInverted(tb->Canvas(), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
  if (outer)
    FSelectionMask->DrawOuterArea(tb, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], FOuterAreaTransparency,
                                  FOuterAreaColor);
  Target->SyncWithTBitmap();
}

// ---------------------------------------------------------------------------
// The whole stack at 1:1

void TZiduzUvView::RenderLayersTo(TIEBitmap* Bitmap) {
  SyncLayers();
  Integer right = 0, bottom = 0;
  for (Integer i = 0; i < LayersCount(); ++i) {
    TIELayer* l = FLayers[size_t(i)].get();
    if (i > 0 && l->Cropped) continue;
    right = std::max(right, l->PosX + l->GetWidth());
    bottom = std::max(bottom, l->PosY + l->GetHeight());
  }
  if (right <= 0 || bottom <= 0) return;
  if (Bitmap->IsEmpty()) {
    Bitmap->Allocate(right, bottom, ie24RGB);
    Bitmap->Fill(static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background()))));
  } else {
    if (Bitmap->PixelFormat() != ie24RGB) Bitmap->ConvertToPixelFormat(ie24RGB);
    Bitmap->ResizeCanvas(right, bottom, static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background()))), 255, 0, 0);
  }
  Bitmap->RemoveAlphaChannel(false, 0);
  // The view's geometry at 100 %, origin 0, the image at the target's corner.
  struct TRestore {
    TZiduzUvView* V;
    double ZX, ZY;
    Integer VX, VY, OX, OY, EX, EY, ZW, ZH;
    ~TRestore() {
      V->FZoomX = ZX;
      V->FZoomY = ZY;
      V->FZoomFactorX = ZX / 100;
      V->FZoomFactorY = ZY / 100;
      V->FInvZoomX = 100 / ZX;
      V->FInvZoomY = 100 / ZY;
      V->FViewX = VX;
      V->FViewY = VY;
      V->FOffsetX = OX;
      V->FOffsetY = OY;
      V->FExtentX = EX;
      V->FExtentY = EY;
      V->FZoomedWidth = ZW;
      V->FZoomedHeight = ZH;
      V->FTableKey = {};
      V->Update();
    }
  } restore{this, FZoomX, FZoomY, FViewX, FViewY, FOffsetX, FOffsetY, FExtentX, FExtentY, FZoomedWidth, FZoomedHeight};
  FZoomX = FZoomY = 100;
  FZoomFactorX = FZoomFactorY = FInvZoomX = FInvZoomY = 1;
  FViewX = FViewY = 0;
  FOffsetX = FOffsetY = 0;
  FExtentX = FZoomedWidth = FImageWidth;
  FExtentY = FZoomedHeight = FImageHeight;
  FTableKey = {};
  DrawLayers(Bitmap, nullptr, nullptr, false, false);
}

void TZiduzUvView::FlattenLayers() {
  TIEBitmap flat;
  const Integer w = FLayers.front()->Bitmap->Width(), h = FLayers.front()->Bitmap->Height();
  if (!flat.Allocate(std::max(w, 1), std::max(h, 1), ie24RGB)) return;
  flat.Fill(static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background()))));
  RenderLayersTo(&flat);
  ClearLayers();
  FIEBitmap->Assign(&flat);
  FIEBitmap->RemoveAlphaChannel(false, 0);
  Update();
}
