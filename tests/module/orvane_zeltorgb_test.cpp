// The object's COM contract: its interface table, aggregation, references, error
// information and what each method does without a card.
#include "module/orvane_zeltorgb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "com_test_util.h"
#include "module/module_lock.h"

namespace zelto {
namespace {

using testing::ComPtr;

const GUID kUnknownIid = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

ComPtr<IUnknown> CreateAlone() {
  ComPtr<IUnknown> object;
  EXPECT_EQ(COrvaneZeltoRGB::CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
  return object;
}

template <typename T>
T* Query(IUnknown* object, REFIID riid) {
  void* result = nullptr;
  EXPECT_EQ(object->QueryInterface(riid, &result), S_OK);
  return static_cast<T*>(result);
}

// An outer object that only counts its references and hands out nothing itself.
class CountingOuter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    ++queries;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  std::atomic<ULONG> references{1};
  int queries = 0;
};

TEST(COrvaneZeltoRGBTest, ServesTheTableAndOneIdentity) {
  ComPtr<IUnknown> object = CreateAlone();
  ASSERT_NE(object.get(), nullptr);
  const IID served[] = {
      IID_ISupportErrorInfo,        IID_IOrvaneZeltoRGB,       IID_IDispatch,
      IID_ISpecifyPropertyPages,    IID_IOrvaneGenericGrabber, IID_IOrvaneImageProp,
      IID_IOrvaneZeltoRGBImageProp, IID_IOrvaneAdjustment,     IID_IOrvaneGenericButtonClickProp,
      IID_IOrvaneBufferUsageProp,   IID_IOrvaneTimeSourceProp, IID_IOrvaneSettingsProp};
  for (const IID& iid : served) {
    ComPtr<IUnknown> part;
    ASSERT_EQ(object->QueryInterface(iid, part.put_void()), S_OK);
    ASSERT_NE(part.get(), nullptr);
    // Every interface leads back to the same IUnknown.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), object.get());
  }
}

TEST(COrvaneZeltoRGBTest, StrangersAreRefused) {
  ComPtr<IUnknown> object = CreateAlone();
  for (const IID& iid : {kUnknownIid, IID_IClassFactory}) {
    void* part = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(iid, &part), E_NOINTERFACE);
    EXPECT_EQ(part, nullptr);
  }
  EXPECT_EQ(object->QueryInterface(IID_IOrvaneGenericGrabber, nullptr), E_POINTER);
}

// The creation reference is dropped after a refused query: the object is freed
// again (ASan catches a double free) and holds no module lock.
TEST(COrvaneZeltoRGBTest, CreatingAsARefusedInterfaceLeavesNothingBehind) {
  long locks_before = ModuleLockCount();
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(COrvaneZeltoRGB::CreateInstance(nullptr, kUnknownIid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ModuleLockCount(), locks_before);
}

TEST(COrvaneZeltoRGBTest, LastReleaseFreesTheObjectAndItsModuleLock) {
  long locks_before = ModuleLockCount();
  IUnknown* object = nullptr;
  ASSERT_EQ(COrvaneZeltoRGB::CreateInstance(nullptr, IID_IOrvaneGenericGrabber,
                                            reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(ModuleLockCount(), locks_before + 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(ModuleLockCount(), locks_before);
}

TEST(COrvaneZeltoRGBTest, AggregatedObjectDelegatesToTheOuter) {
  long locks_before = ModuleLockCount();
  CountingOuter outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(COrvaneZeltoRGB::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
  ASSERT_NE(inner, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.references, 1u);

  // The inner unknown hands out interfaces whose references count on the outer.
  IOrvaneGenericGrabber* grabber = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IOrvaneGenericGrabber, reinterpret_cast<void**>(&grabber)),
            S_OK);
  EXPECT_EQ(outer.references, 2u);
  grabber->AddRef();
  EXPECT_EQ(outer.references, 3u);
  grabber->Release();

  // Their QueryInterface is the outer's.
  IUnknown* identity = nullptr;
  ASSERT_EQ(grabber->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, 1);
  identity->Release();
  grabber->Release();
  EXPECT_EQ(outer.references, 1u);

  // The inner unknown alone decides the object's life.
  EXPECT_EQ(ModuleLockCount(), locks_before + 1);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(ModuleLockCount(), locks_before);
}

TEST(COrvaneZeltoRGBTest, AggregationAsksForIUnknownOnly) {
  long locks_before = ModuleLockCount();
  CountingOuter outer;
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(COrvaneZeltoRGB::CreateInstance(&outer, IID_IOrvaneGenericGrabber, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  // A query the object cannot answer leaves nothing alive behind.
  EXPECT_EQ(COrvaneZeltoRGB::CreateInstance(nullptr, kUnknownIid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ModuleLockCount(), locks_before);
  EXPECT_EQ(outer.references, 1u);
}

TEST(COrvaneZeltoRGBTest, ErrorInfoIsSupportedOnTheDualInterfaceOnly) {
  ComPtr<IUnknown> object = CreateAlone();
  ComPtr<ISupportErrorInfo> support(Query<ISupportErrorInfo>(object.get(), IID_ISupportErrorInfo));
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOrvaneZeltoRGB), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOrvaneGenericGrabber), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);
}

TEST(COrvaneZeltoRGBTest, ListsThreeDistinctPropertyPages) {
  ComPtr<IUnknown> object = CreateAlone();
  ComPtr<ISpecifyPropertyPages> specify(
      Query<ISpecifyPropertyPages>(object.get(), IID_ISpecifyPropertyPages));
  CAUUID pages{};
  ASSERT_EQ(specify->GetPages(&pages), S_OK);
  ASSERT_EQ(pages.cElems, 3u);
  EXPECT_TRUE(IsEqualGUID(pages.pElems[0], CLSID_ZeltoRGBImagePage));
  EXPECT_TRUE(IsEqualGUID(pages.pElems[1], CLSID_ZeltoRGBSettingsPage));
  EXPECT_TRUE(IsEqualGUID(pages.pElems[2], CLSID_ZeltoRGBAdjustmentPage));
  EXPECT_FALSE(IsEqualGUID(pages.pElems[0], pages.pElems[1]));
  EXPECT_FALSE(IsEqualGUID(pages.pElems[1], pages.pElems[2]));
  CoTaskMemFree(pages.pElems);
  EXPECT_EQ(specify->GetPages(nullptr), E_POINTER);
}

TEST(COrvaneZeltoRGBTest, CardMethodsFailBeforeCreateCard) {
  ComPtr<IUnknown> object = CreateAlone();
  ComPtr<IOrvaneGenericGrabber> grabber(
      Query<IOrvaneGenericGrabber>(object.get(), IID_IOrvaneGenericGrabber));
  EXPECT_EQ(grabber->ShowProperties(nullptr, 0), E_FAIL);
  EXPECT_EQ(grabber->AllocateBuffers(4), E_FAIL);
  EXPECT_EQ(grabber->ReallocateBuffers(), E_FAIL);
  EXPECT_EQ(grabber->DeleteCurrentFrame(), E_FAIL);
  EXPECT_EQ(grabber->FreeAllBuffers(), E_FAIL);
  EXPECT_EQ(grabber->ReleaseCurrentFrame(), E_FAIL);
  EXPECT_EQ(grabber->ReleaseAllFrames(), E_FAIL);
  int16_t count = 77;
  EXPECT_EQ(grabber->GetBufferCount(&count), E_FAIL);
  EXPECT_EQ(count, 77);
  EXPECT_EQ(grabber->ArmBuffer(), E_FAIL);
  ImageRecord* record = reinterpret_cast<ImageRecord*>(0x1);
  EXPECT_EQ(grabber->GetFrame(&record), E_FAIL);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(grabber->EnableGrab(), E_FAIL);
  EXPECT_EQ(grabber->DisableGrab(), E_FAIL);
  EXPECT_EQ(grabber->SignalGrabEvent(), E_FAIL);
  EXPECT_EQ(grabber->SignalReadEvent(), E_FAIL);

  ComPtr<IOrvaneImageProp> image(Query<IOrvaneImageProp>(object.get(), IID_IOrvaneImageProp));
  int32_t a = 5, b = 5, c = 5, d = 5;
  EXPECT_EQ(image->GetImageGeometry(&a, &b, &c, &d), E_FAIL);
  EXPECT_EQ(image->SetROI(640, 480, 0, 0), E_FAIL);
  EXPECT_EQ(image->GetImageBytes(&a), E_FAIL);
  EXPECT_EQ(image->GetBitsPerPixel(&a), E_FAIL);
  EXPECT_EQ(image->GetBitDepth(&a), E_FAIL);
  EXPECT_EQ(image->GetImageFormat(&a), E_FAIL);
  EXPECT_EQ(a, 5);

  ComPtr<IOrvaneBufferUsageProp> usage(
      Query<IOrvaneBufferUsageProp>(object.get(), IID_IOrvaneBufferUsageProp));
  EXPECT_EQ(usage->GetReadyCount(&a), E_FAIL);
  EXPECT_EQ(usage->GetPeakReadyCount(&a), E_FAIL);
  EXPECT_EQ(usage->GetTotalBuffers(&a), E_FAIL);
}

TEST(COrvaneZeltoRGBTest, NullOutPointersAreRefused) {
  ComPtr<IUnknown> object = CreateAlone();
  ComPtr<IOrvaneGenericGrabber> grabber(
      Query<IOrvaneGenericGrabber>(object.get(), IID_IOrvaneGenericGrabber));
  EXPECT_EQ(grabber->GetBufferCount(nullptr), E_POINTER);
  EXPECT_EQ(grabber->GetFrame(nullptr), E_POINTER);

  ComPtr<IOrvaneImageProp> image(Query<IOrvaneImageProp>(object.get(), IID_IOrvaneImageProp));
  int32_t v = 0;
  EXPECT_EQ(image->GetImageGeometry(&v, &v, nullptr, &v), E_POINTER);
  EXPECT_EQ(image->GetImageBytes(nullptr), E_POINTER);
  EXPECT_EQ(image->GetBitsPerPixel(nullptr), E_POINTER);
  EXPECT_EQ(image->GetBitDepth(nullptr), E_POINTER);
  EXPECT_EQ(image->GetImageFormat(nullptr), E_POINTER);

  ComPtr<IOrvaneBufferUsageProp> usage(
      Query<IOrvaneBufferUsageProp>(object.get(), IID_IOrvaneBufferUsageProp));
  EXPECT_EQ(usage->GetReadyCount(nullptr), E_POINTER);
  EXPECT_EQ(usage->GetPeakReadyCount(nullptr), E_POINTER);
  EXPECT_EQ(usage->GetTotalBuffers(nullptr), E_POINTER);

  ComPtr<IOrvaneGenericButtonClickProp> button(
      Query<IOrvaneGenericButtonClickProp>(object.get(), IID_IOrvaneGenericButtonClickProp));
  EXPECT_EQ(button->GetButtonValue(nullptr), E_POINTER);
}

TEST(COrvaneZeltoRGBTest, ButtonInterfaceAnswersWithoutACard) {
  ComPtr<IUnknown> object = CreateAlone();
  ComPtr<IOrvaneGenericButtonClickProp> button(
      Query<IOrvaneGenericButtonClickProp>(object.get(), IID_IOrvaneGenericButtonClickProp));
  int16_t value = 0;
  EXPECT_EQ(button->GetButtonValue(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(button->SetButtonValue(0xFFFF, -5), S_OK);
  EXPECT_EQ(button->ClickButton(3), S_OK);
  value = 0;
  EXPECT_EQ(button->GetButtonValue(&value), S_OK);
  EXPECT_EQ(value, 1);
}

}  // namespace
}  // namespace zelto
