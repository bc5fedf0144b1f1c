// Image signature acceptance: decides whether the open image (image/binutils.h)
// is signed through a built-in trust anchor and issued for the connected
// player. Progress and refusal reasons are printed as diagnostic lines.
#pragma once

#include <string>

#include "platform/win.h"

// Hands over the connected player's manufacturer and model for the next
// AcceptImage call. A null text skips that check. The texts are not copied:
// they must stay valid until AcceptImage returns.
void SetExpectedDevice(const WCHAR* szDeviceManufacturer, const WCHAR* szDeviceName);

// Precondition: an image is open. Returns true only when the image's cat_sig
// catalog verifies, lists the image digest and names the expected make and
// model. Between calls it keeps the verification's trust level (RootLevel)
// and this call's details for LastAcceptReport, nothing else.
bool AcceptImage();

// ---------------------------------------------------------------------------
// The same decision with its details, for the image tool and the tests.

inline constexpr char kCatalogExtensionName[] = "cat_sig";  // looked up with its NUL: 8 bytes
inline constexpr DWORD kImageDigestSize = 20;               // SHA-1

// Where an acceptance stopped; kAccepted when nothing refused the image.
enum class AcceptStage {
  kNoCatalog,          // no cat_sig extension
  kEmptyCatalog,       // cat_sig of length 0
  kCatalogAllocation,  // no buffer for the catalog
  kCatalogRead,        // the catalog bytes are not in the file
  kDigest,             // the traversal (or a hash update) failed
  kSignature,          // catalog not verified or digest not listed in it
  kAttributes,         // make or model mismatch (see the two results)
  kAccepted,
};

// Result of one attribute check: not asked (no expected text), passed, or
// the lookup's non-zero code.
inline constexpr LONG kAttributeNotChecked = -1;

struct AcceptReport {
  AcceptStage stage;
  DWORD cbCatalog;  // the extension's length (0 when not found)
  bool fDigest;     // rgbDigest holds the image digest
  BYTE rgbDigest[kImageDigestSize];
  LONG lStatus;       // MinCryptFindHashesInCatalogs's return
  LONG lErrCode;      // the digest's result code
  DWORD dwRootLevel;  // RootLevel after a passed signature check, else 0
  LONG lMakeResult;   // kAttributeNotChecked, 0 or the lookup's code
  LONG lModelResult;
};

// AcceptImage with its details written to *pReport (every field, on every
// path). Prints the same lines and returns the same verdict.
bool AcceptImageWithReport(AcceptReport* pReport);

// The details of the latest AcceptImage call (not of AcceptImageWithReport),
// so that a program that went through a transfer can say why an image was
// refused. False when there was none since the last ForgetLastAcceptReport.
bool LastAcceptReport(AcceptReport* pReport);
void ForgetLastAcceptReport();

// One line on why the acceptance stopped ("device model mismatch", ...);
// empty for an accepted image.
std::string AcceptRefusalReason(const AcceptReport& report);
// "test", "ODM" or "product" for a RootLevel, "unknown" otherwise.
const char* TrustLevelName(DWORD dwRootLevel);

// SHA-1 over the parts that TraverseImage hands out, through the library's
// hash-memory interface (which restarts its shared SHA-1 context). False when
// the traversal fails (the reader prints why) or an update fails ("MinCrypt
// UpdateHashMemory failed" line). Precondition: an image is open.
bool ComputeImageDigest(BYTE rgbDigest[kImageDigestSize]);

// Tests only: forget the expected texts.
void ResetExpectedDeviceForTest();
