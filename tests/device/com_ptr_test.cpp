// The device layer's owning COM pointer: one Release per reference taken,
// none for what a failed call left behind.
#include <gtest/gtest.h>

#include "platform/com.h"

namespace {

constexpr IID kIidCounted = {0x6d1f0a01, 0x7e2c, 0x4b11, {0x9a, 0x30, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

// A COM object that counts what is done to it and never frees itself.
struct Counted final : IUnknown {
  long references = 1;
  long releases = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid != kIidCounted && riid != IID_IUnknown) {
      *ppv = this;  // a careless service's leftover, with no reference taken
      return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return static_cast<ULONG>(--references);
  }
};

// A call that fills an out pointer the way a service might: `give` on
// success, or `leftover` with a failure.
HRESULT Fill(IUnknown** out, HRESULT hr, IUnknown* give) {
  *out = give;
  if (SUCCEEDED(hr) && give != nullptr) give->AddRef();
  return hr;
}

TEST(ComPtr, EveryReferenceTakenIsReleasedOnce) {
  Counted object;
  {
    ComPtr<IUnknown> a;
    EXPECT_EQ(a.Receive(Fill(a.Out(), S_OK, &object)), S_OK);
    EXPECT_EQ(object.references, 2);
    ComPtr<IUnknown> b(std::move(a));  // moves add and release nothing
    EXPECT_FALSE(a);
    ComPtr<IUnknown> c;
    c = std::move(b);
    EXPECT_EQ(object.references, 2);
    ComPtr<IUnknown> d;
    EXPECT_EQ(c.Query(kIidCounted, &d), S_OK);
    EXPECT_EQ(object.references, 3);
    EXPECT_EQ(d.Receive(Fill(d.Out(), S_OK, &object)), S_OK) << "Out() gives up what was held first";
    EXPECT_EQ(object.references, 3);
  }
  EXPECT_EQ(object.references, 1);
  EXPECT_EQ(object.releases, 3);
}

TEST(ComPtr, WhatAFailedCallLeftIsNotOurs) {
  Counted object;
  Counted leftover;
  ComPtr<IUnknown> p;
  EXPECT_EQ(p.Receive(Fill(p.Out(), E_FAIL, &leftover)), E_FAIL);
  EXPECT_FALSE(p);
  EXPECT_EQ(p.Receive(Fill(p.Out(), S_OK, nullptr)), E_FAIL) << "a success that gave nothing";
  EXPECT_EQ(p.Receive(Fill(p.Out(), S_FALSE, &object)), S_FALSE);
  EXPECT_TRUE(p);
  ComPtr<IUnknown> other;
  EXPECT_EQ(p.Query(IID_IConnectionPoint, &other), E_NOINTERFACE);
  EXPECT_FALSE(other) << "what the failed query left is dropped";
  ComPtr<IUnknown> empty;
  EXPECT_EQ(empty.Query(kIidCounted, &other), E_POINTER);
  p.Reset();
  other.Reset();
  EXPECT_EQ(leftover.releases, 0);
  EXPECT_EQ(object.releases, 1);
  EXPECT_EQ(object.references, 1);
}

}  // namespace
