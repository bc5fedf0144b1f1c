// The WMDM declarations must match the service's binary layout: a method in
// the wrong vtable slot calls the wrong function in the real service, and a
// wrongly sized structure corrupts what it passes. The slot numbers below are
// those of the published layout; IUnknown takes slots 0-2.
//
// Both our compilers (g++ and mingw g++) follow the Itanium C++ ABI, in which a
// pointer to a virtual member function holds 1 + the slot's byte offset.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/wmdm.h"

namespace {

template <typename PMF>
size_t Slot(PMF pmf) {
  static_assert(sizeof(PMF) == 2 * sizeof(void*));
  uintptr_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  EXPECT_EQ(words[0] % sizeof(void*), 1u) << "not a virtual function";
  return (words[0] - 1) / sizeof(void*);
}

TEST(WmdmLayout, MethodsSitInTheirPublishedSlots) {
  EXPECT_EQ(Slot(&IUnknown::AddRef), 1u);
  EXPECT_EQ(Slot(&IUnknown::Release), 2u);

  EXPECT_EQ(Slot(&IComponentAuthenticate::SACAuth), 3u);
  EXPECT_EQ(Slot(&IComponentAuthenticate::SACGetProtocols), 4u);

  EXPECT_EQ(Slot(&IWMDeviceManager::EnumDevices), 5u);
  EXPECT_EQ(Slot(&IWMDeviceManager2::GetDeviceFromCanonicalName), 6u);
  EXPECT_EQ(Slot(&IWMDeviceManager2::EnumDevices2), 7u);
  EXPECT_EQ(Slot(&IWMDeviceManager2::Reinitialize), 8u);

  EXPECT_EQ(Slot(&IWMDMEnumDevice::Next), 3u);
  EXPECT_EQ(Slot(&IWMDMEnumDevice::Reset), 5u);
  EXPECT_EQ(Slot(&IWMDMEnumDevice::Clone), 6u);

  EXPECT_EQ(Slot(&IWMDMDevice::GetName), 3u);
  EXPECT_EQ(Slot(&IWMDMDevice::GetManufacturer), 4u);
  EXPECT_EQ(Slot(&IWMDMDevice::GetVersion), 5u);
  EXPECT_EQ(Slot(&IWMDMDevice::GetType), 6u);
  EXPECT_EQ(Slot(&IWMDMDevice::GetStatus), 9u);
  EXPECT_EQ(Slot(&IWMDMDevice::EnumStorage), 11u);
  EXPECT_EQ(Slot(&IWMDMDevice::SendOpaqueCommand), 13u);
  EXPECT_EQ(Slot(&IWMDMDevice2::GetStorage), 14u);
  EXPECT_EQ(Slot(&IWMDMDevice2::GetCanonicalName), 17u);

  EXPECT_EQ(Slot(&IWMDMEnumStorage::Next), 3u);
  EXPECT_EQ(Slot(&IWMDMEnumStorage::Clone), 6u);

  EXPECT_EQ(Slot(&IWMDMStorage::GetStorageGlobals), 4u);
  EXPECT_EQ(Slot(&IWMDMStorage::SendOpaqueCommand), 11u);
  EXPECT_EQ(Slot(&IWMDMStorage2::GetStorage), 12u);
  EXPECT_EQ(Slot(&IWMDMStorage2::GetAttributes2), 14u);
  EXPECT_EQ(Slot(&IWMDMStorage3::GetMetadata), 15u);
  EXPECT_EQ(Slot(&IWMDMStorage3::CreateEmptyMetadataObject), 17u);
  EXPECT_EQ(Slot(&IWMDMStorage3::SetEnumPreference), 18u);

  EXPECT_EQ(Slot(&IWMDMStorageGlobals::GetStatus), 8u);
  EXPECT_EQ(Slot(&IWMDMStorageGlobals::Initialize), 9u);

  EXPECT_EQ(Slot(&IWMDMMetaData::AddItem), 3u);
  EXPECT_EQ(Slot(&IWMDMMetaData::GetItemCount), 6u);

  EXPECT_EQ(Slot(&IWMDMStorageControl::Insert), 3u);
  EXPECT_EQ(Slot(&IWMDMStorageControl::Read), 6u);
  EXPECT_EQ(Slot(&IWMDMStorageControl::Move), 7u);
  EXPECT_EQ(Slot(&IWMDMStorageControl2::Insert2), 8u);
  EXPECT_EQ(Slot(&IWMDMStorageControl3::Insert3), 9u);

  EXPECT_EQ(Slot(&IWMDMOperation::BeginRead), 3u);
  EXPECT_EQ(Slot(&IWMDMOperation::TransferObjectData), 11u);
  EXPECT_EQ(Slot(&IWMDMOperation::End), 12u);

  EXPECT_EQ(Slot(&IWMDMProgress::Begin), 3u);
  EXPECT_EQ(Slot(&IWMDMProgress::Progress), 4u);
  EXPECT_EQ(Slot(&IWMDMProgress::End), 5u);

  EXPECT_EQ(Slot(&IWMDMNotification::WMDMMessage), 3u);
  EXPECT_EQ(Slot(&IWMDMRevoked::GetRevocationURL), 3u);

  EXPECT_EQ(Slot(&IConnectionPointContainer::FindConnectionPoint), 4u);
  EXPECT_EQ(Slot(&IConnectionPoint::Advise), 5u);
  EXPECT_EQ(Slot(&IConnectionPoint::Unadvise), 6u);
  EXPECT_EQ(Slot(&IClassFactory::CreateInstance), 3u);
}

TEST(WmdmLayout, IdentifiersAreThePublishedOnes) {
  // Spot checks of the byte order of Data1..Data3 and Data4.
  const BYTE root[16] = {0x81, 0xAD, 0xBA, 0x25, 0x60, 0x35, 0xD3, 0x11,
                         0x84, 0x71, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0};
  EXPECT_EQ(std::memcmp(&CLSID_MediaDevMgr, root, 16), 0);
  const BYTE control3[16] = {0x65, 0x63, 0x26, 0xB3, 0xF3, 0xD4, 0x96, 0x46,
                             0x8D, 0x53, 0xBD, 0x27, 0xEC, 0x60, 0x99, 0x3A};
  EXPECT_EQ(std::memcmp(&IID_IWMDMStorageControl3, control3, 16), 0);
  EXPECT_TRUE(IsEqualGUID(IID_IConnectionPointContainer,
                          IID{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}}));
}

}  // namespace
