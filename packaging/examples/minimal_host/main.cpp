// The least a host does with the ZeltoRGB module: create the object, start the
// card, grab ten frames and print their times.
//
//   Windows: register OrvZeltoRGB.dll (register.cmd), then run minimal_host.exe.
//   POSIX:   minimal_host [/path/to/libOrvZeltoRGB.so]; the CMake project builds in
//            the installed module's path (ZELTORGB_MODULE_PATH).
#include <cstdio>
#include <string>

#include "zeltorgb/zeltorgb.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

// A BSTR from ASCII text (OLECHAR is wchar_t on Windows, char16_t elsewhere).
BSTR MakeBstr(const char* text) {
  std::basic_string<OLECHAR> wide;
  for (const char* c = text; *c != '\0'; ++c) wide.push_back(static_cast<OLECHAR>(*c));
  return SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
}

HRESULT CreateGrabber(int argc, char** argv, IOrvaneGenericGrabber** grabber) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  return CoCreateInstance(CLSID_OrvaneZeltoRGB, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IOrvaneGenericGrabber, reinterpret_cast<void**>(grabber));
#else
#ifdef ZELTORGB_MODULE_PATH
  const char* path = argc > 1 ? argv[1] : ZELTORGB_MODULE_PATH;
#else
  if (argc < 2) return E_INVALIDARG;
  const char* path = argv[1];
#endif
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return E_FAIL;
  auto get_class_object =
      reinterpret_cast<ZeltoDllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
  if (get_class_object == nullptr) return E_FAIL;
  IClassFactory* factory = nullptr;
  HRESULT hr =
      get_class_object(CLSID_OrvaneZeltoRGB, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, IID_IOrvaneGenericGrabber,
                               reinterpret_cast<void**>(grabber));
  factory->Release();
  return hr;  // the module stays loaded for the rest of the process
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  CoInitialize(nullptr);
#endif
  IOrvaneGenericGrabber* grabber = nullptr;
  HRESULT hr = CreateGrabber(argc, argv, &grabber);
  if (FAILED(hr)) {
    std::fprintf(stderr, "no ZeltoRGB object (0x%08lX)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  // The host's key under HKEY_CURRENT_USER, ending in a backslash.
  BSTR key = MakeBstr("Software\\MinimalHost\\");
  hr = grabber->CreateCard(key);
  SysFreeString(key);
  if (FAILED(hr)) {
    std::fprintf(stderr, "CreateCard failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    grabber->Release();
    return 1;
  }
  IOrvaneImageProp* image = nullptr;
  grabber->QueryInterface(IID_IOrvaneImageProp, reinterpret_cast<void**>(&image));
  int32_t width = 0, height = 0, x = 0, y = 0, format = 0;
  image->GetImageGeometry(&width, &height, &x, &y);
  image->GetImageFormat(&format);
  std::printf("%d x %d, format %d\n", width, height, format);

  constexpr int kBuffers = 4;
  grabber->AllocateBuffers(kBuffers);
  grabber->EnableGrab();
  for (int i = 0; i < kBuffers; ++i) grabber->ArmBuffer();
  int frames = 0;
  while (frames < 10) {
    ImageRecord* record = nullptr;
    grabber->GetFrame(&record);  // waits for the next frame
    if (record == nullptr) continue;
    std::printf("frame %d at %d.%03u%03u\n", frames, record->Seconds, record->Milliseconds,
                record->Microseconds);
    ++frames;
    grabber->ReleaseCurrentFrame();  // the buffer is free again
    grabber->ArmBuffer();            // and armed for the next frame
  }
  grabber->DisableGrab();
  grabber->FreeAllBuffers();
  image->Release();
  grabber->Release();
  std::printf("%d frames\n", frames);
  return 0;
}
