// The Windows image decoder: the Windows Imaging Component, converted to premultiplied BGRA (the
// form libtiff gives on POSIX) and reordered to RGBA.
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/scene/bitmap.h"
#include "host/scene/file_io.h"

namespace fm::host {
namespace {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p_) p_->Release();
  }
  T** Out() { return &p_; }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }

 private:
  T* p_ = nullptr;
};

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

std::string Hresult(const char* what, HRESULT hr) {
  char text[64];
  std::snprintf(text, sizeof text, " failed (0x%08lx)", static_cast<unsigned long>(hr));
  return what + std::string(text);
}

// COM is initialised for the call and left as the caller had it.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

bool Decode(const std::wstring& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba,
            std::string& error) {
  ComRef<IWICImagingFactory> factory;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()));
  if (FAILED(hr)) return Fail(error, Hresult("creating the imaging factory", hr));
  ComRef<IWICBitmapDecoder> decoder;
  hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                          WICDecodeMetadataCacheOnDemand, decoder.Out());
  if (FAILED(hr)) return Fail(error, Hresult("opening the image", hr));
  ComRef<IWICBitmapFrameDecode> frame;
  hr = decoder->GetFrame(0, frame.Out());
  if (FAILED(hr)) return Fail(error, Hresult("reading the first frame", hr));
  UINT w = 0;
  UINT h = 0;
  hr = frame->GetSize(&w, &h);
  constexpr UINT kMaxSide = 1u << 15;
  if (FAILED(hr) || w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) {
    error = "image size " + std::to_string(w) + " x " + std::to_string(h) + " not supported";
    return false;
  }
  ComRef<IWICFormatConverter> converter;
  hr = factory->CreateFormatConverter(converter.Out());
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
  }
  if (FAILED(hr)) return Fail(error, Hresult("converting the pixels", hr));
  std::vector<uint8_t> bgra(static_cast<size_t>(w) * h * 4);
  hr = converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(bgra.size()), bgra.data());
  if (FAILED(hr)) return Fail(error, Hresult("copying the pixels", hr));
  for (size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
  rgba = std::move(bgra);
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

}  // namespace

bool DecodeTiffFile(const std::string& path, int32_t& width, int32_t& height,
                    std::vector<uint8_t>& rgba, std::string& error) {
  // Unix-style paths only happen to work under an emulator; hand the decoder a full Windows path.
  const std::wstring wide = WidePath(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return Fail(error, "the path cannot be made absolute");
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  full.resize(written);
  ComScope com;
  if (!com.Usable()) return Fail(error, Hresult("initialising COM", com.Result()));
  return Decode(full, width, height, rgba, error);
}

}  // namespace fm::host
