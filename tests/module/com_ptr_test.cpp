// ComPtr's reference bookkeeping: every path releases exactly what it owns, no
// more (a double Release frees a live object) and no less (a leak).
#include "module/com_ptr.h"

#include <gtest/gtest.h>

#include <utility>

namespace zelto {
namespace {

class Counted final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;  // the test's own
};

TEST(ComPtrTest, OwnsExactlyTheReferencesItTook) {
  Counted object;
  {
    auto adopted = ComPtr<IUnknown>::Adopt(&object);  // takes over the test's reference
    EXPECT_EQ(object.references, 1u);
    ComPtr<IUnknown> shared = ComPtr<IUnknown>::Share(&object);
    EXPECT_EQ(object.references, 2u);
    ComPtr<IUnknown> copy = shared;
    EXPECT_EQ(object.references, 3u);
    ComPtr<IUnknown> moved = std::move(copy);
    EXPECT_EQ(object.references, 3u);
    EXPECT_FALSE(copy);
    moved = shared;  // replacing one holder of the object by another keeps the count
    EXPECT_EQ(object.references, 3u);
  }
  EXPECT_EQ(object.references, 0u);
}

TEST(ComPtrTest, OutParametersAndDetachHandTheReferenceOver) {
  Counted object;
  ComPtr<IUnknown> held = ComPtr<IUnknown>::Share(&object);
  ComPtr<IUnknown> queried;
  ASSERT_EQ(held.As(IID_IUnknown, &queried), S_OK);
  EXPECT_EQ(object.references, 3u);
  // Put releases what the pointer held before the callee fills it.
  ASSERT_EQ(held->QueryInterface(IID_IUnknown, queried.PutVoid()), S_OK);
  EXPECT_EQ(object.references, 3u);
  IUnknown* raw = queried.Detach();
  EXPECT_EQ(raw, &object);
  EXPECT_FALSE(queried);
  held.Reset();
  EXPECT_EQ(object.references, 2u);
  raw->Release();
  ComPtr<IUnknown> empty;
  EXPECT_EQ(empty.As(IID_IUnknown, &queried), E_POINTER);
  EXPECT_EQ(ComPtr<IUnknown>().Get(), nullptr);
}

}  // namespace
}  // namespace zelto
