// PNG files through the Windows Imaging Component (see png_file.h): the system's own codec, so
// the Windows tools need no library beside the system's DLLs. Frames are encoded in memory and
// written whole through the system layer, as with libpng on Linux.
#include "tools/png_file.h"

#include "system/system.h"

#include <windows.h>
#include <wincodec.h>

#include <string>

namespace {

// COM for this thread and the imaging factory; both released when the scope ends.
struct Imaging {
    bool comStarted = false;
    IWICImagingFactory* factory = nullptr;

    Imaging()
    {
        comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
    }
    ~Imaging()
    {
        if (factory)
            factory->Release();
        if (comStarted)
            CoUninitialize();
    }
};

template <typename T>
void release(T*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

// The encoder's one frame: 8-bit BGR rows (the PNG encoder's native form of RGB).
bool encodeFrame(IWICBitmapEncoder* encoder, const uint8_t* rgba, uint32_t width, uint32_t height)
{
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    bool ok = SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options)) &&
              SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
              IsEqualGUID(format, GUID_WICPixelFormat24bppBGR);
    DynamicArray<uint8_t> bgr;
    const uint64_t pixelCount = uint64_t(width) * height;
    if (ok) {
        bgr.reserve(pixelCount * 3 + 1);
        ok = bgr.data != nullptr;
    }
    for (uint64_t i = 0; ok && i < pixelCount; ++i) {
        bgr.data[i * 3 + 0] = rgba[i * 4 + 2];
        bgr.data[i * 3 + 1] = rgba[i * 4 + 1];
        bgr.data[i * 3 + 2] = rgba[i * 4 + 0];
    }
    ok = ok && SUCCEEDED(frame->WritePixels(height, width * 3, UINT(pixelCount * 3), bgr.data)) &&
         SUCCEEDED(frame->Commit());
    bgr.clear();
    release(options);
    release(frame);
    return ok;
}

// The bytes an HGLOBAL stream holds.
bool streamBytes(IStream* stream, std::string& bytes)
{
    STATSTG stat = {};
    HGLOBAL memory = nullptr;
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(stream, &memory)))
        return false;
    const void* data = GlobalLock(memory);
    if (!data)
        return false;
    bytes.assign(static_cast<const char*>(data), size_t(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
}

} // namespace

bool writePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height)
{
    if (!rgba || width == 0 || height == 0)
        return false;
    Imaging imaging;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    std::string file;
    bool ok = imaging.factory && SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
              SUCCEEDED(imaging.factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              encodeFrame(encoder, rgba, width, height) && SUCCEEDED(encoder->Commit()) && streamBytes(stream, file);
    release(encoder);
    release(stream);
    return ok && writeWholeFile(path, file.data(), file.size()) == FileWriteResult::Ok;
}

bool readPng(const char* path, RgbaImage& image)
{
    freeImage(image);
    std::wstring widePath(MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath.data(), int(widePath.size()));
    Imaging imaging;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    GUID container = {};
    UINT width = 0, height = 0;
    bool ok = imaging.factory &&
              SUCCEEDED(imaging.factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                                   WICDecodeMetadataCacheOnDemand, &decoder)) &&
              SUCCEEDED(decoder->GetContainerFormat(&container)) && IsEqualGUID(container, GUID_ContainerFormatPng) &&
              SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
              SUCCEEDED(imaging.factory->CreateFormatConverter(&converter)) &&
              SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr,
                                              0.0, WICBitmapPaletteTypeCustom));
    const uint64_t bytes = uint64_t(width) * height * 4;
    if (ok) {
        image.pixels.reserve(bytes + 1);
        ok = image.pixels.data && bytes <= UINT_MAX &&
             SUCCEEDED(converter->CopyPixels(nullptr, width * 4, UINT(bytes), image.pixels.data));
    }
    release(converter);
    release(frame);
    release(decoder);
    if (!ok) {
        freeImage(image);
        return false;
    }
    image.pixels.count = bytes;
    image.width = width;
    image.height = height;
    return true;
}
