// tessfold-channel: makes and inspects the secure channel's credentials with
// the program's own channel code: key pairs, certificates signed with a root
// key, key containers, and a certificate's fields and signature.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/curve_lock.h"
#include "channel/key_container.h"
#include "channel/wire.h"
#include "crypto/random/wipe.h"
#include "platform/text.h"
#include "tessfold/version.h"
#include "tools/tool_files.h"

namespace {

using Args = std::vector<std::string>;

constexpr int kExitOk = 0;       // done, or the certificate verifies
constexpr int kExitRefused = 1;  // the certificate does not verify, or a key is unusable
constexpr int kExitUsage = 2;    // bad usage, or input that cannot be read

const char kUsage[] =
    "Usage: tessfold-channel <command> [options]\n"
    "\n"
    "Make and inspect the secure channel's credentials.\n"
    "\n"
    "Commands:\n"
    "  keygen --key OUT.key --pub OUT.pub [--force]\n"
    "      A new key pair: the private key as one line of 40 hex digits, the\n"
    "      public key as one line \"X Y\" (most significant digit first).\n"
    "      Both files are written or neither; an existing file is replaced\n"
    "      only with --force.\n"
    "  certify --pub HOLDER.pub --level N --root-key ROOT.key -o OUT.cert\n"
    "      A 100-byte certificate for the public key at security level N,\n"
    "      signed with the root's private key.\n"
    "  wrap --key KEY.key -o OUT.keycontainer [--seed N]\n"
    "      Hide a private key in a 4096-byte key container (random filler and,\n"
    "      unless given, a random seed).\n"
    "  unwrap CONTAINER -o OUT.key\n"
    "      Take the private key out of a key container.\n"
    "  show CERT [--root ROOT.pub] [--json]\n"
    "      A certificate's fields and whether it verifies under the root (the\n"
    "      root built into this tool unless given).\n"
    "\n"
    "  --version\n"
    "      Show the program's version.\n"
    "\n"
    "No command writes over one of its inputs; outputs are written whole or\n"
    "not at all, through a symbolic link to its file, never over a device.\n"
    "Private keys and key containers are readable by their owner only.\n"
    "\n"
    "Exit status: 0 done or verified, 1 refused (not verified, unusable key or\n"
    "container, a point off the curve), 2 usage error, unreadable input or an\n"
    "output that cannot be written.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tessfold-channel: %s\nTry 'tessfold-channel --help'.\n", message.c_str());
  return kExitUsage;
}

void Error(const std::string& message) { std::fprintf(stderr, "tessfold-channel: %s\n", message.c_str()); }

// --- options -----------------------------------------------------------------

struct Options {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> values;
  bool json = false;
  bool force = false;
};

// "--name VALUE", "--name=VALUE" and "-o OUT"; the names that take values are
// listed, anything else starting with '-' is refused.
bool ParseOptions(const Args& args, const std::vector<std::string>& names, Options* out, int* exitCode) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--json" || arg == "--force") {
      (arg == "--json" ? out->json : out->force) = true;
      continue;
    }
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      out->positional.push_back(arg);
      continue;
    }
    std::string name = arg, value;
    const size_t eq = arg.find('=');
    bool inline_ = false;
    if (eq != std::string::npos && arg.rfind("--", 0) == 0) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inline_ = true;
    }
    bool known = false;
    for (const std::string& n : names) known = known || n == name;
    if (!known) {
      *exitCode = UsageError("unknown option '" + name + "'");
      return false;
    }
    if (!inline_) {
      if (i + 1 >= args.size()) {
        *exitCode = UsageError("option '" + name + "' needs a value");
        return false;
      }
      value = args[++i];
    }
    out->values.emplace_back(name, value);
  }
  return true;
}

std::string Value(const Options& o, const std::string& name) {
  for (const auto& [n, v] : o.values)
    if (n == name) return v;
  return "";
}

// --- files -------------------------------------------------------------------

bool ReadInput(const std::string& path, std::vector<BYTE>* bytes) {
  std::string cause;
  if (toolfiles::ReadWholeFile(path, bytes, &cause)) return true;
  Error("cannot read '" + path + "': " + cause);
  return false;
}

// An output must not be one of the inputs (nor another output).
bool OutputsClear(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    for (const std::string& in : inputs) {
      if (toolfiles::SameFile(outputs[i], in)) {
        Error("will not write '" + outputs[i] + "' over the input '" + in + "'");
        return false;
      }
    }
    for (size_t j = i + 1; j < outputs.size(); ++j) {
      if (toolfiles::SameFile(outputs[i], outputs[j])) {
        Error("two outputs name one file: '" + outputs[i] + "'");
        return false;
      }
    }
  }
  return true;
}

// Private keys are readable by their owner only; everything else as usual.
using toolfiles::Access;

bool WriteOutput(const std::string& path, const void* data, size_t length, Access access) {
  std::string error;
  if (toolfiles::WriteOutput(path, data, length, access, &error)) return true;
  Error(error);
  return false;
}

// All of `files` written, or none of them: each goes to its partial file
// first, and the partial files are renamed into place only when all are
// complete.
struct OutputFile {
  std::string path;
  std::string text;
  Access access;
};

bool WriteAllOrNone(const std::vector<OutputFile>& files) {
  std::string error;
  size_t written = 0;
  while (written < files.size()) {
    const OutputFile& f = files[written];
    if (!toolfiles::WritePartial(f.path, f.text.data(), f.text.size(), f.access, &error)) break;
    ++written;
  }
  size_t committed = 0;
  if (written == files.size()) {
    while (committed < files.size() && toolfiles::CommitPartial(files[committed].path, &error)) ++committed;
    if (committed == files.size()) return true;
  }
  for (size_t i = committed; i < written; ++i) toolfiles::RemoveFile(toolfiles::PartialPath(files[i].path));
  for (size_t i = 0; i < committed; ++i) toolfiles::RemoveFile(toolfiles::OutputTarget(files[i].path));
  Error(error);
  return false;
}

// --- number formats -------------------------------------------------------------

std::string HexMsbFirst(const BYTE* le, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = n; i-- > 0;) s += {digits[le[i] >> 4], digits[le[i] & 15]};
  return s;
}

// 40 hex digits, most significant first, into 20 bytes least significant first.
bool ParseNumber(const std::string& text, BYTE out[20]) {
  if (text.size() != 40) return false;
  for (size_t i = 0; i < 20; ++i) {
    unsigned v = 0;
    for (size_t j = 0; j < 2; ++j) {
      const char c = text[2 * i + j];
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
    }
    out[19 - i] = static_cast<BYTE>(v);
  }
  return true;
}

std::vector<std::string> Words(const std::vector<BYTE>& bytes) {
  std::vector<std::string> words;
  std::string word;
  for (BYTE b : bytes) {
    if (b == ' ' || b == '\t' || b == '\n' || b == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(b);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

bool ReadPrivateKey(const std::string& path, BYTE key[20]) {
  std::vector<BYTE> bytes;
  if (!ReadInput(path, &bytes)) return false;
  const std::vector<std::string> words = Words(bytes);
  if (words.size() != 1 || !ParseNumber(words[0], key)) {
    Error("'" + path + "' is not a private key (one line of 40 hex digits)");
    return false;
  }
  return true;
}

bool ReadPublicKey(const std::string& path, BYTE point[40]) {
  std::vector<BYTE> bytes;
  if (!ReadInput(path, &bytes)) return false;
  const std::vector<std::string> words = Words(bytes);
  if (words.size() != 2 || !ParseNumber(words[0], point) || !ParseNumber(words[1], point + 20)) {
    Error("'" + path + "' is not a public key (one line \"X Y\" of 40 hex digits each)");
    return false;
  }
  return true;
}

std::string PublicKeyLine(const BYTE point[40]) {
  return HexMsbFirst(point, 20) + " " + HexMsbFirst(point + 20, 20) + "\n";
}

// The curve work of one command, under the channel's lock.
class Curve {
 public:
  Curve() : curve_(ChannelCurveCreate()) {}
  ~Curve() { ChannelCurveDestroy(curve_); }
  Curve(const Curve&) = delete;
  Curve& operator=(const Curve&) = delete;
  ChannelCurve* get() const { return curve_; }

 private:
  ChannelLockMembership member_;
  ChannelLockHeld held_;
  ChannelCurve* curve_;
};

// --- commands ------------------------------------------------------------------

// The order n of the channel's base point, most significant digit first.
constexpr char kGroupOrder[] = "89abcdef012345672716b26eec14904428c2a675";

// A private key this tool hands out or hides: one of 1 .. n-1, the keys for
// which d·G is a distinct public key (the handshake itself may take any key
// but a multiple of n; a key file should never rely on that).
bool UsableKey(const BYTE key[20]) {
  BYTE order[20];
  ParseNumber(kGroupOrder, order);
  bool below = false, zero = true;
  for (int i = 19; i >= 0; --i) {
    if (key[i] != order[i]) {
      below = key[i] < order[i];
      break;
    }
  }
  for (int i = 0; i < 20; ++i) zero = zero && key[i] == 0;
  return !zero && below;
}

// A public key on the channel's curve, with coordinates below p. The curve
// context's one check of a foreign point is the key transport's (it refuses
// a point off the curve before anything else), so a transport to the key is
// tried: it succeeds exactly for a point on the curve.
bool PointOnCurve(const BYTE point[40]) {
  Curve curve;
  const BYTE probe[kChannelSessionKeyLength] = {};
  BYTE sealed[80];
  return curve.get() != nullptr && ChannelKeySeal(curve.get(), point, probe, sealed);
}

std::string PrivateKeyLine(const BYTE key[20]) { return HexMsbFirst(key, 20) + "\n"; }

int RunKeygen(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--key", "--pub"}, &o, &code)) return code;
  const std::string keyPath = Value(o, "--key"), pubPath = Value(o, "--pub");
  if (keyPath.empty() || pubPath.empty() || !o.positional.empty() || o.json)
    return UsageError("keygen needs --key OUT.key and --pub OUT.pub");
  if (!OutputsClear({}, {keyPath, pubPath})) return kExitUsage;
  // A key pair replaces nothing by accident: an existing private key may be
  // the only copy of a root.
  for (const std::string& path : {keyPath, pubPath}) {
    if (!o.force && toolfiles::PathTaken(path)) {
      Error("'" + path + "' exists; give --force to replace it");
      return kExitUsage;
    }
  }
  BYTE key[20], point[40];
  {
    Curve curve;
    if (curve.get() == nullptr) {
      Error("the curve could not be set up");
      return kExitRefused;
    }
    // A draw of 160 bits is at or above n almost half the time (n starts
    // with 0x89); those are drawn again, like a draw that failed.
    bool ok = false;
    for (int attempt = 0; attempt < 64 && !ok; ++attempt)
      ok = ChannelRandom(key, sizeof key) && UsableKey(key) && ChannelPublicKey(curve.get(), key, point);
    if (!ok) {
      Error("no random key could be drawn");
      return kExitRefused;
    }
  }
  std::string keyLine = PrivateKeyLine(key);
  SecureWipe(key, sizeof key);
  const bool written =
      WriteAllOrNone({{keyPath, keyLine, Access::kOwnerOnly}, {pubPath, PublicKeyLine(point), Access::kShared}});
  SecureWipe(keyLine.data(), keyLine.size());
  return written ? kExitOk : kExitUsage;
}

int RunCertify(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--pub", "--level", "--root-key", "-o"}, &o, &code)) return code;
  const std::string pubPath = Value(o, "--pub"), levelText = Value(o, "--level"), rootPath = Value(o, "--root-key"),
                    outPath = Value(o, "-o");
  if (pubPath.empty() || levelText.empty() || rootPath.empty() || outPath.empty() || !o.positional.empty() || o.json ||
      o.force)
    return UsageError("certify needs --pub HOLDER.pub --level N --root-key ROOT.key -o OUT.cert");
  char* end = nullptr;
  const unsigned long long level = std::strtoull(levelText.c_str(), &end, 0);
  if (levelText[0] == '-' || *end != '\0' || level > 0xFFFFFFFFull)
    return UsageError("--level expects a 32-bit number");
  if (!OutputsClear({pubPath, rootPath}, {outPath})) return kExitUsage;
  BYTE point[40], rootKey[20];
  if (!ReadPublicKey(pubPath, point) || !ReadPrivateKey(rootPath, rootKey)) return kExitUsage;
  // A certificate for a point off the curve would verify, and every
  // handshake with it would then fail.
  if (!PointOnCurve(point)) {
    SecureWipe(rootKey, sizeof rootKey);
    Error("'" + pubPath + "' is not a point on the channel's curve");
    return kExitRefused;
  }
  BYTE certificate[kChannelCertificateLength];
  CertificateLayout(point, static_cast<DWORD>(level), 0, certificate);
  bool ok = UsableKey(rootKey);
  if (ok) {
    // The new certificate is checked under the root's public key before it
    // is written.
    Curve curve;
    BYTE rootPoint[40];
    ok = curve.get() != nullptr && ChannelPublicKey(curve.get(), rootKey, rootPoint) &&
         ChannelSign(curve.get(), rootKey, certificate + kCertificateSignedOffset, kCertificateMaxSignedLength,
                     certificate + kCertificateSignatureOffset) &&
         ChannelVerify(curve.get(), rootPoint, certificate + kCertificateSignedOffset, kCertificateMaxSignedLength,
                       certificate + kCertificateSignatureOffset);
  }
  SecureWipe(rootKey, sizeof rootKey);
  if (!ok) {
    Error("cannot sign with '" + rootPath + "' (a key of 0 or not below the group order?)");
    return kExitRefused;
  }
  return WriteOutput(outPath, certificate, sizeof certificate, Access::kShared) ? kExitOk : kExitUsage;
}

int RunWrap(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--key", "-o", "--seed"}, &o, &code)) return code;
  const std::string keyPath = Value(o, "--key"), outPath = Value(o, "-o"), seedText = Value(o, "--seed");
  if (keyPath.empty() || outPath.empty() || !o.positional.empty() || o.json || o.force)
    return UsageError("wrap needs --key KEY.key -o OUT.keycontainer");
  WORD seed = 0;
  if (!seedText.empty()) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(seedText.c_str(), &end, 0);
    if (seedText[0] == '-' || *end != '\0' || value > 0xFFFF) return UsageError("--seed expects a 16-bit number");
    seed = static_cast<WORD>(value);
  }
  if (!OutputsClear({keyPath}, {outPath})) return kExitUsage;
  BYTE key[20];
  if (!ReadPrivateKey(keyPath, key)) return kExitUsage;
  if (!UsableKey(key)) {
    SecureWipe(key, sizeof key);
    Error("'" + keyPath + "' holds no usable key (0, or not below the group order)");
    return kExitRefused;
  }
  std::vector<BYTE> container(kKeyContainerLength);
  BYTE seedBytes[2];
  bool ok;
  {
    ChannelLockMembership member;
    ChannelLockHeld held;
    ok = ChannelRandom(container.data(), kKeyContainerLength) && ChannelRandom(seedBytes, 2);
  }
  if (!ok) {
    SecureWipe(key, sizeof key);
    Error("no random filler could be drawn");
    return kExitRefused;
  }
  if (seedText.empty()) seed = static_cast<WORD>(seedBytes[0] << 8 | seedBytes[1]);
  KeyContainerWrap(key, seed, container.data());
  SecureWipe(key, sizeof key);
  const bool written = WriteOutput(outPath, container.data(), container.size(), Access::kOwnerOnly);
  SecureWipe(container.data(), container.size());
  return written ? kExitOk : kExitUsage;
}

int RunUnwrap(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"-o"}, &o, &code)) return code;
  const std::string outPath = Value(o, "-o");
  if (o.positional.size() != 1 || outPath.empty() || o.json || o.force)
    return UsageError("unwrap needs CONTAINER -o OUT.key");
  const std::string& in = o.positional[0];
  if (!OutputsClear({in}, {outPath})) return kExitUsage;
  std::vector<BYTE> container;
  if (!ReadInput(in, &container)) return kExitUsage;
  if (container.size() != kKeyContainerLength) {
    Error("'" + in + "' is not a key container (" + std::to_string(container.size()) + " bytes, not 4096)");
    return kExitRefused;
  }
  const DWORD keyLength = container[kKeyContainerKeyLengthOffset] << 8 | container[kKeyContainerKeyLengthOffset + 1];
  BYTE key[20];
  if (FAILED(KeyContainerExtract(container.data(), static_cast<DWORD>(container.size()), key))) {
    Error("'" + in + "' is not a key container (key length " + std::to_string(keyLength) + ", at most 20)");
    return kExitRefused;
  }
  SecureWipe(container.data(), container.size());
  // An all-zero block, or one whose key length is 0, gives the key 0.
  if (!UsableKey(key)) {
    SecureWipe(key, sizeof key);
    Error("'" + in + "' holds no usable key (key length " + std::to_string(keyLength) +
          "; the key is 0, or not below the group order)");
    return kExitRefused;
  }
  std::string keyLine = PrivateKeyLine(key);
  SecureWipe(key, sizeof key);
  const bool written = WriteOutput(outPath, keyLine.data(), keyLine.size(), Access::kOwnerOnly);
  SecureWipe(keyLine.data(), keyLine.size());
  return written ? kExitOk : kExitUsage;
}

// Every field of a certificate, as stored.
struct CertificateFields {
  DWORD format0, signedLength, format88, level;
  std::string r, s, x, y, trailer;
};

CertificateFields FieldsOf(const BYTE* c) {
  CertificateFields f;
  f.format0 = ReadLe32(c);
  f.signedLength = CertificateSignedLength(c);
  f.format88 = ReadLe32(c + kCertificateSecondFormatOffset);
  f.level = CertificateSecurityLevel(c);
  f.r = HexMsbFirst(c + kCertificateSignatureOffset, 20);
  f.s = HexMsbFirst(c + kCertificateSignatureOffset + 20, 20);
  f.x = HexMsbFirst(c + kCertificatePublicKeyOffset, 20);
  f.y = HexMsbFirst(c + kCertificatePublicKeyOffset + 20, 20);
  // The last four bytes as they stand, first byte first.
  static const char digits[] = "0123456789abcdef";
  for (DWORD i = kCertificateLevelOffset + 4; i < kChannelCertificateLength; ++i)
    f.trailer += {digits[c[i] >> 4], digits[c[i] & 15]};
  return f;
}

std::string CertificateVerdict(const BYTE* c, const BYTE root[40]) {
  if (!CertificateFormatOk(c)) return "bad format word";
  const DWORD signedLength = CertificateSignedLength(c);
  if (signedLength > kCertificateMaxSignedLength) return "signed length past the certificate";
  Curve curve;
  const bool ok = curve.get() != nullptr && ChannelVerify(curve.get(), root, c + kCertificateSignedOffset, signedLength,
                                                          c + kCertificateSignatureOffset);
  return ok ? "verified" : "signature does not verify";
}

std::string Hex32(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::string ShowJson(const std::string& path, const CertificateFields& f, const std::string& root,
                     const std::string& verdict) {
  auto number = [](DWORD v) { return std::to_string(static_cast<unsigned long>(v)); };
  auto quoted = [](const std::string& text) { return JsonQuote(NarrowToUtf8(WidenUtf8(text))); };
  return "{\"file\": " + quoted(path) + ", \"format\": [" + number(f.format0) + ", " + number(f.format88) +
         "], \"signedLength\": " + number(f.signedLength) + ", \"level\": " + number(f.level) +
         ", \"publicKey\": {\"x\": \"" + f.x + "\", \"y\": \"" + f.y + "\"}, \"signature\": {\"r\": \"" + f.r +
         "\", \"s\": \"" + f.s + "\"}, \"trailer\": \"" + f.trailer + "\", \"root\": \"" + root +
         "\", \"verified\": " + (verdict == "verified" ? "true" : "false") + ", \"result\": \"" + verdict + "\"}\n";
}

std::string ShowText(const std::string& path, const CertificateFields& f, const std::string& root,
                     const std::string& verdict) {
  return "Certificate    " + path + "\nFormat words   " + Hex32(f.format0) + ", " + Hex32(f.format88) +
         "\nSigned length  " + std::to_string(static_cast<unsigned long>(f.signedLength)) + "\nSecurity level " +
         std::to_string(static_cast<unsigned long>(f.level)) + "\nPublic key     " + f.x + " " + f.y +
         "\nSignature      " + f.r + " " + f.s + "\nTrailer        " + f.trailer + "\nRoot           " + root +
         "\nResult         " + verdict + "\n";
}

int RunShow(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--root"}, &o, &code)) return code;
  if (o.positional.size() != 1 || o.force) return UsageError("show needs one CERT");
  const std::string& path = o.positional[0];
  const std::string rootPath = Value(o, "--root");
  std::vector<BYTE> certificate;
  if (!ReadInput(path, &certificate)) return kExitUsage;
  BYTE root[40];
  std::memcpy(root, kChannelRootPublicKey, sizeof root);
  if (!rootPath.empty() && !ReadPublicKey(rootPath, root)) return kExitUsage;
  if (certificate.size() != kChannelCertificateLength) {
    Error("'" + path + "' is not a certificate (" + std::to_string(certificate.size()) + " bytes, not 100)");
    return kExitRefused;
  }
  const std::string verdict = CertificateVerdict(certificate.data(), root);
  const CertificateFields fields = FieldsOf(certificate.data());
  const std::string rootText = HexMsbFirst(root, 20) + " " + HexMsbFirst(root + 20, 20);
  const std::string shown =
      o.json ? ShowJson(path, fields, rootText, verdict) : ShowText(path, fields, rootText, verdict);
  std::fputs(shown.c_str(), stdout);
  return verdict == "verified" ? kExitOk : kExitRefused;
}

int Run(const Args& argv) {
  if (argv.size() < 2) return UsageError("missing command");
  const std::string& command = argv[1];
  const Args args(argv.begin() + 2, argv.end());
  bool help = command == "-h" || command == "--help" || command == "help";
  for (const std::string& arg : args) help = help || arg == "-h" || arg == "--help";
  if (help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "--version" && args.empty()) {
    std::printf("tessfold-channel %s\n", TESSFOLD_VERSION_STRING);
    return kExitOk;
  }
  if (command == "keygen") return RunKeygen(args);
  if (command == "certify") return RunCertify(args);
  if (command == "wrap") return RunWrap(args);
  if (command == "unwrap") return RunUnwrap(args);
  if (command == "show") return RunShow(args);
  return UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) { return Run(Args(argv, argv + argc)); }
