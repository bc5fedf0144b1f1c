#include "image/accept.h"

#include <cstring>
#include <vector>

#include "image/binutils.h"
#include "image/traverse.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/rootlevel.h"
#include "mincrypt/vercat.h"
#include "platform/diag.h"
#include "platform/localheap.h"
#include "platform/text.h"

namespace {

const WCHAR* g_szExpectedMake = nullptr;
const WCHAR* g_szExpectedModel = nullptr;
// What the latest AcceptImage found, for programs that explain a refusal.
AcceptReport g_lastReport = {};
bool g_haveLastReport = false;

// Name-value attribute type 1.3.6.1.4.1.311.12.2.1 (content octets) and the
// two attribute names in big-endian UTF-16 without a terminator.
const BYTE kNameValueOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0C, 0x02, 0x01};
const BYTE kManufacturerName[] = {0, 'M', 0, 'a', 0, 'n', 0, 'u', 0, 'f', 0, 'a',
                                  0, 'c', 0, 't', 0, 'u', 0, 'r', 0, 'e', 0, 'r'};
const BYTE kModelName[] = {0, 'M', 0, 'o', 0, 'd', 0, 'e', 0, 'l'};
static_assert(sizeof kManufacturerName == 24 && sizeof kModelName == 10);

// The catalog bytes: owned here, freed on every path.
class CatalogBuffer {
 public:
  CatalogBuffer() = default;
  CatalogBuffer(const CatalogBuffer&) = delete;
  CatalogBuffer& operator=(const CatalogBuffer&) = delete;
  ~CatalogBuffer() {
    if (block_ != nullptr) LocalFree(block_);
  }
  BYTE* Allocate(DWORD size) {
    block_ = LocalAlloc(LMEM_FIXED, size);
    return static_cast<BYTE*>(block_);
  }

 private:
  HLOCAL block_ = nullptr;
};

struct DigestContext {
  MinCryptHashHandle hHash;
};

bool HashPart(const BYTE* pbData, DWORD cbData, void* pvContext) {
  const DigestContext* context = static_cast<const DigestContext*>(pvContext);
  const DerBlob blob = {cbData, pbData};
  if (MinCryptUpdateHashMemory(CALG_SHA1, context->hHash, 1, &blob) != 0) {
    DiagPrintf(DiagStream::Out, "MinCryptUpdateHashMemory failed\r\n");
    return false;
  }
  return true;
}

// The stored value of a name-value attribute is the text in little-endian
// UTF-16 with one terminating NUL unit, whatever the host's byte order.
std::vector<BYTE> AttributeValue(const WCHAR* text) {
  const size_t cch = WideLength(text);
  std::vector<BYTE> value;
  value.reserve(2 * (cch + 1));
  for (size_t i = 0; i <= cch; ++i) {
    const unsigned unit = static_cast<unsigned>(text[i]) & 0xFFFF;
    value.push_back(static_cast<BYTE>(unit & 0xFF));
    value.push_back(static_cast<BYTE>(unit >> 8));
  }
  return value;
}

// One attribute check; returns the lookup's code (0 passed).
LONG CheckAttribute(const MapCatInfo& catInfo, const char* label, const BYTE* pbName, DWORD cbName,
                    const WCHAR* expected) {
  DiagPrintf(DiagStream::Out, "Verifying Device %s Attribute '%s'...\r\n", label,
             NarrowToUtf8(WStringView(expected, WideLength(expected))).c_str());
  const std::vector<BYTE> value = AttributeValue(expected);
  const LONG result = MinCryptCheckCatalogNameValue(catInfo, sizeof kNameValueOid, kNameValueOid, cbName, pbName,
                                                    static_cast<DWORD>(value.size()), value.data());
  if (result == 0) {
    DiagPrintf(DiagStream::Out, "Device %s Attribute passed...\r\n", label);
  } else {
    DiagPrintf(DiagStream::Out, "Device %s Attribute mismatch!\r\n", label);
  }
  return result;
}

void ReportTrustLevel(DWORD level) {
  switch (level) {
    case ROOT_LEVEL_NONE:
      DiagPrintf(DiagStream::Out, "Error in consistency check.\r\n");
      break;
    case ROOT_LEVEL_TEST:
      DiagPrintf(DiagStream::Out, "Test Signature PASSED.\r\n");
      break;
    case ROOT_LEVEL_ODM:
      DiagPrintf(DiagStream::Out, "ODM Signature PASSED.\r\n");
      break;
    case ROOT_LEVEL_PRODUCT:
      DiagPrintf(DiagStream::Out, "Product Signature PASSED.\r\n");
      break;
    default:
      break;
  }
}

}  // namespace

void SetExpectedDevice(const WCHAR* szDeviceManufacturer, const WCHAR* szDeviceName) {
  g_szExpectedMake = szDeviceManufacturer;
  g_szExpectedModel = szDeviceName;
}

void ResetExpectedDeviceForTest() { SetExpectedDevice(nullptr, nullptr); }

bool ComputeImageDigest(BYTE rgbDigest[kImageDigestSize]) {
  DigestContext context = {nullptr};
  if (MinCryptInitHashMemory(CALG_SHA1, &context.hHash) != 0) return false;
  if (!TraverseImage(HashPart, &context)) return false;
  DWORD cbDigest = 0;
  BYTE digest[MINCRYPT_MAX_HASH_LEN];
  if (MinCryptFinalHashMemory(CALG_SHA1, context.hHash, digest, &cbDigest) != 0 || cbDigest != kImageDigestSize) {
    return false;
  }
  std::memcpy(rgbDigest, digest, kImageDigestSize);
  return true;
}

bool AcceptImageWithReport(AcceptReport* pReport) {
  AcceptReport& report = *pReport;
  std::memset(&report, 0, sizeof report);
  report.lMakeResult = kAttributeNotChecked;
  report.lModelResult = kAttributeNotChecked;

  DWORD dwCatalogAddress = 0;
  DWORD cbCatalog = 0;
  report.stage = AcceptStage::kNoCatalog;
  if (!FindRomExtension(kCatalogExtensionName, sizeof kCatalogExtensionName, &dwCatalogAddress, &cbCatalog)) {
    DiagPrintf(DiagStream::Out, "ERROR: Could not find the cat_sig extension in the image.\r\n");
    return false;
  }
  report.cbCatalog = cbCatalog;
  report.stage = AcceptStage::kEmptyCatalog;
  if (cbCatalog == 0) {
    DiagPrintf(DiagStream::Out, "ERROR: Signature length is zero. Was this image stamped with a signature?\r\n");
    return false;
  }

  // The extension's length comes from the image itself: make sure the file
  // holds that many bytes before asking the heap for them, so that a damaged
  // length cannot claim gigabytes for a read that must fail anyway.
  report.stage = AcceptStage::kCatalogRead;
  ImageReadPlan plan;
  if (!LocateImageRead(dwCatalogAddress, cbCatalog, true, &plan)) return false;
  CatalogBuffer buffer;
  BYTE* pbCatalog = buffer.Allocate(cbCatalog);
  if (pbCatalog == nullptr) {
    report.stage = AcceptStage::kCatalogAllocation;
    DiagPrintf(DiagStream::Out, "ERROR: Catalog blob allocation failed (requested size: %d)\r\n",
               static_cast<int>(cbCatalog));
    return false;
  }
  MapCatInfo catInfo;
  std::memset(&catInfo, 0, sizeof catInfo);
  catInfo.EncodedBlob = DerBlob{cbCatalog, pbCatalog};
  if (!ReadLocated(plan, pbCatalog)) return false;

  report.stage = AcceptStage::kDigest;
  if (!ComputeImageDigest(report.rgbDigest)) return false;
  report.fDigest = true;

  DiagPrintf(DiagStream::Out, "Verifying Signature...\r\n");
  report.stage = AcceptStage::kSignature;
  RootLevel = ROOT_LEVEL_NONE;
  const DerBlob hashBlob = {kImageDigestSize, report.rgbDigest};
  LONG lErrCode = 0;
  const LONG lStatus = MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &hashBlob, 1, &catInfo, TRUE, &lErrCode);
  report.lStatus = lStatus;
  report.lErrCode = lErrCode;
  if (lStatus != 0 || lErrCode != 0) {
    DiagPrintf(DiagStream::Out, "ERROR: Signature validatation test FAILED. Status: %X, ErrorCode: %X\r\n",
               static_cast<unsigned>(lStatus), static_cast<unsigned>(lErrCode));
    return false;
  }
  report.dwRootLevel = RootLevel;
  ReportTrustLevel(RootLevel);

  bool ok = true;
  if (g_szExpectedMake != nullptr) {
    report.lMakeResult = CheckAttribute(catInfo, "Make", kManufacturerName, sizeof kManufacturerName, g_szExpectedMake);
    ok = ok && report.lMakeResult == 0;
  }
  if (g_szExpectedModel != nullptr) {
    report.lModelResult = CheckAttribute(catInfo, "Model", kModelName, sizeof kModelName, g_szExpectedModel);
    ok = ok && report.lModelResult == 0;
  }
  report.stage = ok ? AcceptStage::kAccepted : AcceptStage::kAttributes;
  return ok;
}

bool AcceptImage() {
  AcceptReport report;
  const bool accepted = AcceptImageWithReport(&report);
  g_lastReport = report;
  g_haveLastReport = true;
  return accepted;
}

bool LastAcceptReport(AcceptReport* pReport) {
  if (!g_haveLastReport || pReport == nullptr) return false;
  *pReport = g_lastReport;
  return true;
}

void ForgetLastAcceptReport() {
  g_lastReport = AcceptReport{};
  g_haveLastReport = false;
}
