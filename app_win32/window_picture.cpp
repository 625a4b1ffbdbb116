#include "app_win32/window_picture.h"

#include <wincodec.h>

#include "app_win32/owned.h"

namespace cardwright::win32 {

namespace {

// The picture's pixels: 24-bit, rows top down, each row padded to four bytes as GDI keeps it.
struct Pixels {
    OwnedBitmap bitmap;
    void* bits = nullptr;
    UINT width = 0;
    UINT height = 0;
    UINT stride = 0;
};

Pixels Grab(HWND window) {
    Pixels pixels;
    RECT rect{};
    if (GetWindowRect(window, &rect) == FALSE || rect.right <= rect.left ||
        rect.bottom <= rect.top) {
        return pixels;
    }
    pixels.width = static_cast<UINT>(rect.right - rect.left);
    pixels.height = static_cast<UINT>(rect.bottom - rect.top);
    pixels.stride = (pixels.width * 3 + 3) & ~3U;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(pixels.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(pixels.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const WindowDc source(window, true);
    pixels.bitmap.Reset(
        CreateDIBSection(source.Get(), &info, DIB_RGB_COLORS, &pixels.bits, nullptr, 0));
    const OwnedMemoryDc target(CreateCompatibleDC(source.Get()));
    if (!pixels.bitmap || !target) {
        return Pixels{};
    }
    const Selected selected(target.Get(), pixels.bitmap.Get());
    if (BitBlt(target.Get(), 0, 0, static_cast<int>(pixels.width), static_cast<int>(pixels.height),
               source.Get(), 0, 0, SRCCOPY) == FALSE) {
        return Pixels{};
    }
    GdiFlush();
    return pixels;
}

bool Encode(const Pixels& pixels, const std::wstring& file) {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.OutVoid()))) {
        return false;
    }
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(factory->CreateBitmapFromMemory(
               pixels.width, pixels.height, GUID_WICPixelFormat24bppBGR, pixels.stride,
               pixels.stride * pixels.height, static_cast<BYTE*>(pixels.bits), source.Out())) &&
           SUCCEEDED(factory->CreateStream(stream.Out())) &&
           SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.Out(), nullptr)) &&
           SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(pixels.width, pixels.height)) &&
           SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR &&
           SUCCEEDED(frame->WriteSource(source.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
           SUCCEEDED(encoder->Commit());
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::wstring& file) {
    // Everything painted as it is now, the frame too.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const Pixels pixels = Grab(window);
    if (pixels.bits == nullptr) {
        return false;
    }
    if (Encode(pixels, file)) {
        return true;
    }
    DeleteFileW(file.c_str());  // no half-written picture stays behind
    return false;
}

}  // namespace cardwright::win32
