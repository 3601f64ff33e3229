// The server's class table and lock count.
#include "module/class_factory.h"

#include <gtest/gtest.h>

#include "com_test_util.h"
#include "module/module_lock.h"

namespace zelto {
namespace {

using testing::ComPtr;

TEST(ClassFactoryTest, ServesTheOneClassOnly) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(GetClassObject(CLSID_ZeltoRGBImagePage, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IOrvaneGenericGrabber, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IClassFactory, nullptr), E_POINTER);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IUnknown, unknown.put_void()), S_OK);
}

TEST(ClassFactoryTest, ObjectsAndServerLocksHoldTheModule) {
  ASSERT_EQ(CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory.put_void()), S_OK);
  // Holding the factory alone does not keep the module.
  EXPECT_EQ(CanUnloadNow(), S_OK);

  ComPtr<IOrvaneGenericGrabber> first;
  ComPtr<IOrvaneGenericGrabber> second;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOrvaneGenericGrabber, first.put_void()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOrvaneGenericGrabber, second.put_void()), S_OK);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(ModuleLockCount(), 2);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  first.Reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  second.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  EXPECT_EQ(factory->LockServer(1), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(ClassFactoryTest, RefusesAggregationUnlessAskedForIUnknown) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> outer;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.put_void()), S_OK);
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IOrvaneImageProp, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ModuleLockCount(), 1);
}

}  // namespace
}  // namespace zelto
