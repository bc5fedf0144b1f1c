#include "tests/channel/channel_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "channel/certificate.h"
#include "channel/curve_lock.h"
#include "channel/key_container.h"
#include "channel/wire.h"

namespace channeltest {

namespace {

std::string KeyDir() {
  const char* root = std::getenv("TF_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/keys/dev/channel/";
}

}  // namespace

ChannelCurve* OpenHeldCurve() {
  ChannelLockJoin();
  ChannelLockEnter();
  return ChannelCurveCreate();
}

void CloseHeldCurve(ChannelCurve* curve) {
  ChannelCurveDestroy(curve);
  ChannelLockExit();
  ChannelLockLeave();
}

std::vector<BYTE> Wire(const std::string& hex) {
  std::vector<BYTE> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[out.size() - 1 - i] = static_cast<BYTE>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

std::string Hex(const BYTE* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s;
}

std::string Ordinary(const BYTE* wire, size_t n) {
  std::vector<BYTE> reversed(wire, wire + n);
  std::reverse(reversed.begin(), reversed.end());
  return Hex(reversed.data(), n);
}

std::vector<BYTE> ServiceCertificate() {
  std::ifstream in(KeyDir() + "service.cert", std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

std::vector<BYTE> RootPrivateKey() {
  std::ifstream in(KeyDir() + "root.key");
  std::string hex;
  in >> hex;
  return hex.size() == 40 ? Wire(hex) : std::vector<BYTE>(20, 0);
}

std::vector<BYTE> Resigned(std::vector<BYTE> certificate, DWORD dwSignedLength, DWORD dwLengthWord) {
  WriteLe32(certificate.data() + kCertificateSignedLengthOffset, dwLengthWord);
  ChannelCurve* curve = OpenHeldCurve();
  const bool signedOk =
      curve != nullptr && ChannelSign(curve, RootPrivateKey().data(), certificate.data() + kCertificateSignedOffset,
                                      dwSignedLength, certificate.data() + kCertificateSignatureOffset);
  CloseHeldCurve(curve);
  if (!signedOk) certificate.assign(certificate.size(), 0);
  return certificate;
}

std::vector<BYTE> ServiceKeyContainer() {
  std::ifstream in(KeyDir() + "service.key");
  std::string hex;
  in >> hex;
  std::vector<BYTE> container(kKeyContainerLength, 0x3C);
  if (hex.size() == 40) KeyContainerWrap(Wire(hex).data(), 0x0BAD, container.data());
  return container;
}

}  // namespace channeltest
