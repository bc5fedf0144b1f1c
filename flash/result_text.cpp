#include "flash/result_text.h"

#include "flash/flash.h"
#include "platform/wmdm.h"

namespace flash {

namespace {

struct ResultWords {
  DWORD code;
  const char* words;
};

constexpr ResultWords kResultWords[] = {
    {0x80004005u, "unspecified failure in the device service"},
    {0x8007001Fu, "the player reported a failure of the device (a cable, port or storage fault)"},
    {0x8007048Fu, "the player was disconnected"},
    {0x80070005u, "access denied by the player or the device service"},
    {0x80070002u, "the file is not there"},
    {0x80070070u, "the player's storage is full"},
    {0x8007000Eu, "out of memory"},
    {0x80070057u, "the device service refused the request as invalid"},
    {static_cast<DWORD>(WMDM_E_BUSY), "the player is busy"},
    {static_cast<DWORD>(WMDM_E_INTERFACEDEAD), "the player is no longer connected"},
    {static_cast<DWORD>(WMDM_E_PROCESSFAILED), "the device service could not carry out the request"},
    {static_cast<DWORD>(WMDM_E_NOTSUPPORTED), "the player or the device service does not support this"},
    {static_cast<DWORD>(WMDM_E_USER_CANCELLED), "stopped on request"},
};

}  // namespace

std::string DescribeDeviceResult(HRESULT hr) {
  const DWORD code = static_cast<DWORD>(hr);
  for (const ResultWords& row : kResultWords) {
    if (row.code == code) return std::string(row.words) + " (" + Hex32(code) + ")";
  }
  return "the device service reported an error (" + Hex32(code) + ")";
}

}  // namespace flash
