// The one-line explanations of an acceptance, shared by the programs that
// report one (the image tool's verify, the console flasher).
#include <cstdio>

#include "image/accept.h"
#include "mincrypt/rootlevel.h"

namespace {

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(v));
  return text;
}

}  // namespace

const char* TrustLevelName(DWORD dwRootLevel) {
  switch (dwRootLevel) {
    case ROOT_LEVEL_TEST:
      return "test";
    case ROOT_LEVEL_ODM:
      return "ODM";
    case ROOT_LEVEL_PRODUCT:
      return "product";
    default:
      return "unknown";
  }
}

std::string AcceptRefusalReason(const AcceptReport& r) {
  switch (r.stage) {
    case AcceptStage::kNoCatalog:
      return "the image has no cat_sig extension";
    case AcceptStage::kEmptyCatalog:
      return "the cat_sig extension is empty (the image is not stamped)";
    case AcceptStage::kCatalogAllocation:
      return "no memory for the catalog";
    case AcceptStage::kCatalogRead:
      return "the catalog cannot be read from the file";
    case AcceptStage::kDigest:
      return "the image digest cannot be computed (the signed parts cannot be read)";
    case AcceptStage::kSignature:
      return "the signature check failed (status " + Hex(static_cast<uint32_t>(r.lStatus)) + ", error code " +
             Hex(static_cast<uint32_t>(r.lErrCode)) + ")";
    case AcceptStage::kAttributes: {
      const bool make = r.lMakeResult != 0 && r.lMakeResult != kAttributeNotChecked;
      const bool model = r.lModelResult != 0 && r.lModelResult != kAttributeNotChecked;
      return make && model ? "device make and model mismatch" : make ? "device make mismatch" : "device model mismatch";
    }
    case AcceptStage::kAccepted:
      break;
  }
  return "";
}
