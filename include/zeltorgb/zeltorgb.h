// The ZeltoRGB grabber module as a host sees it: the class, its interfaces in
// binding order (the host calls by slot, so the order never changes), their
// identifiers, the frame record and the image format codes.
//
// Windows: the module is the in-process server OrvZeltoRGB.dll; create the object
// with CoCreateInstance(CLSID_OrvaneZeltoRGB) or through the ProgID
// "ZeltoRGB.OrvaneZeltoRGB.1" once it is registered (regsvr32), or load the DLL
// and call its DllGetClassObject. POSIX: load libOrvZeltoRGB.so, resolve
// DllGetClassObject and link the host against libzeltocom (com_posix.h).
//
// Every method returns an HRESULT. A failure inside the card comes back as
// DISP_E_EXCEPTION with error information (GetErrorInfo) whose description is the
// reason; ArmBuffer and GetFrame return S_FALSE with the description "overrun" when
// they had to wait. Methods that need the card return E_FAIL before CreateCard.
#ifndef ZELTORGB_ZELTORGB_H_
#define ZELTORGB_ZELTORGB_H_

#ifdef _WIN32
// windows.h first: the OLE headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#else
#include "zeltorgb/com_posix.h"
#endif

#include <stdint.h>

#include "zeltorgb/image_record.h"

// The programmatic identifiers of the class.
#define ZELTORGB_PROGID "ZeltoRGB.OrvaneZeltoRGB.1"
#define ZELTORGB_VERSION_INDEPENDENT_PROGID "ZeltoRGB.OrvaneZeltoRGB"

// Fixed identifiers, issued once.
// {7A64E52C-42A2-4AD2-8414-A05A6219358E}
inline constexpr CLSID CLSID_OrvaneZeltoRGB = {
    0x7a64e52c, 0x42a2, 0x4ad2, {0x84, 0x14, 0xa0, 0x5a, 0x62, 0x19, 0x35, 0x8e}};
// {BC99F136-E9D7-4648-B715-B4AF66D07CD2}, version 1.0
inline constexpr GUID LIBID_ZELTORGBLib = {
    0xbc99f136, 0xe9d7, 0x4648, {0xb7, 0x15, 0xb4, 0xaf, 0x66, 0xd0, 0x7c, 0xd2}};
// {A973D366-67E8-46A7-9898-CA88F6F5A36D}
inline constexpr IID IID_IOrvaneZeltoRGB = {
    0xa973d366, 0x67e8, 0x46a7, {0x98, 0x98, 0xca, 0x88, 0xf6, 0xf5, 0xa3, 0x6d}};
// {66DB68AF-3F28-401F-B356-B54685557644}
inline constexpr IID IID_IOrvaneGenericGrabber = {
    0x66db68af, 0x3f28, 0x401f, {0xb3, 0x56, 0xb5, 0x46, 0x85, 0x55, 0x76, 0x44}};
// {A8A38E87-EEEB-4E21-8731-456AF60FC3D1}
inline constexpr IID IID_IOrvaneImageProp = {
    0xa8a38e87, 0xeeeb, 0x4e21, {0x87, 0x31, 0x45, 0x6a, 0xf6, 0x0f, 0xc3, 0xd1}};
// {7E2113D9-1EC1-46E7-8385-9D34F05C4900}
inline constexpr IID IID_IOrvaneZeltoRGBImageProp = {
    0x7e2113d9, 0x1ec1, 0x46e7, {0x83, 0x85, 0x9d, 0x34, 0xf0, 0x5c, 0x49, 0x00}};
// {EB9E90F8-BA38-4E43-A5A3-0B60F3E274F5}
inline constexpr IID IID_IOrvaneAdjustment = {
    0xeb9e90f8, 0xba38, 0x4e43, {0xa5, 0xa3, 0x0b, 0x60, 0xf3, 0xe2, 0x74, 0xf5}};
// {5F4C1004-3B15-49E6-9ADE-23285CE552B4}
inline constexpr IID IID_IOrvaneSettingsProp = {
    0x5f4c1004, 0x3b15, 0x49e6, {0x9a, 0xde, 0x23, 0x28, 0x5c, 0xe5, 0x52, 0xb4}};
// {17B0A719-92D0-4FFD-9085-BB4DE2161CEB}
inline constexpr IID IID_IOrvaneGenericButtonClickProp = {
    0x17b0a719, 0x92d0, 0x4ffd, {0x90, 0x85, 0xbb, 0x4d, 0xe2, 0x16, 0x1c, 0xeb}};
// {D562700D-151C-4DE2-B267-8307D1CB3A79}
inline constexpr IID IID_IOrvaneBufferUsageProp = {
    0xd562700d, 0x151c, 0x4de2, {0xb2, 0x67, 0x83, 0x07, 0xd1, 0xcb, 0x3a, 0x79}};
// {26E68C2E-51DB-48BB-8A42-CC290081812A}
inline constexpr IID IID_IOrvaneTimeSourceProp = {
    0x26e68c2e, 0x51db, 0x48bb, {0x8a, 0x42, 0xcc, 0x29, 0x00, 0x81, 0x81, 0x2a}};

// The property pages of the class, in the order ISpecifyPropertyPages lists them.
// {1E334912-C667-424D-8C22-25F377AC8169}
inline constexpr CLSID CLSID_ZeltoRGBImagePage = {
    0x1e334912, 0xc667, 0x424d, {0x8c, 0x22, 0x25, 0xf3, 0x77, 0xac, 0x81, 0x69}};
// {96994FDF-1C21-46D7-BF12-28077047E37E}
inline constexpr CLSID CLSID_ZeltoRGBSettingsPage = {
    0x96994fdf, 0x1c21, 0x46d7, {0xbf, 0x12, 0x28, 0x07, 0x70, 0x47, 0xe3, 0x7e}};
// {0E5181B0-1C9B-484E-9A1A-2D08019C3065}
inline constexpr CLSID CLSID_ZeltoRGBAdjustmentPage = {
    0x0e5181b0, 0x1c9b, 0x484e, {0x9a, 0x1a, 0x2d, 0x08, 0x01, 0x9c, 0x30, 0x65}};

// The class's own dual interface: IDispatch only, described by the type library.
struct IOrvaneZeltoRGB : IDispatch {};

// Creating the card, the property pages, the frame buffers and grabbing.
struct IOrvaneGenericGrabber : IUnknown {
  // Creates and starts the card; `host_key` is a key path under HKEY_CURRENT_USER
  // ending in a backslash, below which the module keeps "ZELTORGB". A failed
  // start-up gives DISP_E_EXCEPTION, "Camera Initialization FAILED...".
  virtual HRESULT STDMETHODCALLTYPE CreateCard(BSTR host_key) = 0;
  // mode 0: every property page; otherwise the settings page alone.
  virtual HRESULT STDMETHODCALLTYPE ShowProperties(HWND parent, int mode) = 0;
  // Adds `count` image buffers; a count below 1 does nothing.
  virtual HRESULT STDMETHODCALLTYPE AllocateBuffers(int16_t count) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReallocateBuffers() = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteCurrentFrame() = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeAllBuffers() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseCurrentFrame() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseAllFrames() = 0;
  // The number of buffers, truncated to 16 bits.
  virtual HRESULT STDMETHODCALLTYPE GetBufferCount(int16_t* count) = 0;
  // Hands a free buffer to the capture side; blocks while none is free.
  virtual HRESULT STDMETHODCALLTYPE ArmBuffer() = 0;
  // The oldest ready frame, blocking while none is ready; *record is null when the
  // wait was ended by SignalReadEvent. The record stays valid until the frame is
  // released.
  virtual HRESULT STDMETHODCALLTYPE GetFrame(ImageRecord** record) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnableGrab() = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableGrab() = 0;
  // Wake a thread blocked in ArmBuffer / GetFrame.
  virtual HRESULT STDMETHODCALLTYPE SignalGrabEvent() = 0;
  virtual HRESULT STDMETHODCALLTYPE SignalReadEvent() = 0;
};

// Geometry and pixel format of the delivered images.
struct IOrvaneImageProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetImageGeometry(int32_t* width, int32_t* height,
                                                     int32_t* offset_x, int32_t* offset_y) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetROI(int32_t width, int32_t height, int32_t offset_x,
                                           int32_t offset_y) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImageBytes(int32_t* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBitsPerPixel(int32_t* bits) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBitDepth(int32_t* bits) = 0;
  // One of the kZeltoImageFormat* codes; 0 when the card cannot tell.
  virtual HRESULT STDMETHODCALLTYPE GetImageFormat(int32_t* format) = 0;
};

// What is particular to this card: scaling, the applied region, module-paced rate.
struct IOrvaneZeltoRGBImageProp : IOrvaneImageProp {
  virtual HRESULT STDMETHODCALLTYPE GetScaling(int32_t* width, int32_t* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetScaling(int32_t width, int32_t height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScalingMode(int32_t* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetScalingMode(int32_t mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRoi(int32_t* width, int32_t* height, int32_t* offset_x,
                                           int32_t* offset_y) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrameRate(int32_t* rate) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFrameRate(int32_t rate) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFixedRateMode(int32_t* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFixedRateMode(int32_t mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryConstantOne(int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryConstantZero(int32_t* value) = 0;
};

// Numeric adjustments (sliders), addressed by identifier except GetAdjustmentInfo.
// Names go out through SysReAllocString on the caller's BSTR (null or valid).
struct IOrvaneAdjustment : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAdjustmentCount(int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAdjustmentInfo(int32_t index, int32_t* id, BSTR* name,
                                                      int32_t* int_min, int32_t* int_max,
                                                      double* real_min, double* real_max,
                                                      int32_t* is_integer, int32_t* word_a,
                                                      int32_t* word_b, int32_t* word_c,
                                                      int32_t* word_d) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIntegerValue(int32_t id, int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIntegerValue(int32_t id, int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRealValue(int32_t id, double* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRealValue(int32_t id, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAuxValue(int32_t id, int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAuxValue(int32_t id, int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Trigger(int32_t id) = 0;
};

// Enumerated settings with their options. Strings go out through SysReAllocString
// on the caller's BSTR (null or valid); the caller owns the result.
struct IOrvaneSettingsProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSettingsCount(int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOptionCount(int32_t id, int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSetting(int32_t index, BSTR* name, int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOption(int32_t id, int32_t option_index, BSTR* label,
                                              int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSettingValue(int32_t id, int32_t* value) = 0;
  // Sets the value and rebuilds the list: read names and options again afterwards.
  virtual HRESULT STDMETHODCALLTYPE SetSettingValue(int32_t id, int32_t value) = 0;
};

// The host's buttons; this module offers none (GetButtonValue reports 1).
struct IOrvaneGenericButtonClickProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetButtonValue(int16_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetButtonValue(uint16_t button, int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClickButton(uint16_t button) = 0;
};

// How full the frame queue has been.
struct IOrvaneBufferUsageProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetReadyCount(int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPeakReadyCount(int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTotalBuffers(int32_t* count) = 0;
};

// The time source plug-in's synchronisation state and GPS data. Every method
// returns S_OK (E_POINTER for a null pointer once a card exists); before
// CreateCard it does nothing and leaves its outputs as they were.
//   GetSynchronizationStatus  the plug-in's status word, unchanged; 0 without one
//   IsGPSSupported            0 or 1; 0 without a plug-in
//   GetGPSData                hands the plug-in *value and the flag as 0 or 1
//   StopReadingGPSData        stops the plug-in's GPS reading
// The meaning of the status word and of the GPS value belongs to the plug-in.
struct IOrvaneTimeSourceProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSynchronizationStatus(int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsGPSSupported(int32_t* supported) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGPSData(int32_t* value, int32_t flag) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopReadingGPSData() = 0;
};

// The module's four exports, for hosts that load it by path.
extern "C" {
typedef HRESULT(STDMETHODCALLTYPE* ZeltoDllGetClassObjectFn)(REFCLSID clsid, REFIID riid,
                                                             void** object);
typedef HRESULT(STDMETHODCALLTYPE* ZeltoDllCanUnloadNowFn)(void);
typedef HRESULT(STDMETHODCALLTYPE* ZeltoDllRegisterServerFn)(void);
}

#endif  // ZELTORGB_ZELTORGB_H_
