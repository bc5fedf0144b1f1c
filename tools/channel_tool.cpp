// tessfold-channel: makes and inspects the secure channel's credentials with
// the program's own channel code: key pairs, certificates signed with a root
// key, key containers, and a certificate's fields and signature.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tessfold/version.h"
#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/curve_lock.h"
#include "channel/key_container.h"
#include "channel/wire.h"

namespace {

namespace fs = std::filesystem;
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
    "  keygen --key OUT.key --pub OUT.pub\n"
    "      A new key pair: the private key as one line of 40 hex digits, the\n"
    "      public key as one line \"X Y\" (most significant digit first).\n"
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
    "not at all.\n"
    "\n"
    "Exit status: 0 done or verified, 1 refused (not verified, unusable key),\n"
    "2 usage error or unreadable input.\n";

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
};

// "--name VALUE", "--name=VALUE" and "-o OUT"; the names that take values are
// listed, anything else starting with '-' is refused.
bool ParseOptions(const Args& args, const std::vector<std::string>& names, Options* out, int* exitCode) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--json") {
      out->json = true;
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

bool ReadFile(const std::string& path, std::vector<BYTE>* bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    Error("cannot read '" + path + "': " + (fs::exists(path, ec) ? "not a file" : "no such file"));
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), {});
  if (!in.good() && !in.eof()) {
    Error("cannot read '" + path + "'");
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) || fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// An output must not be one of the inputs (nor another output).
bool OutputsClear(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    for (const std::string& in : inputs) {
      if (SameFile(outputs[i], in)) {
        Error("will not write '" + outputs[i] + "' over the input '" + in + "'");
        return false;
      }
    }
    for (size_t j = i + 1; j < outputs.size(); ++j) {
      if (SameFile(outputs[i], outputs[j])) {
        Error("two outputs name one file: '" + outputs[i] + "'");
        return false;
      }
    }
  }
  return true;
}

// Written as OUT.partial, renamed into place when complete.
bool WriteFile(const std::string& path, const void* data, size_t length) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(partial, ec);
      Error("cannot write '" + path + "'");
      return false;
    }
  }
  std::error_code ec;
  fs::rename(partial, path, ec);
  if (ec) {
    fs::remove(partial, ec);
    Error("cannot write '" + path + "'");
    return false;
  }
  return true;
}

bool WriteText(const std::string& path, const std::string& text) { return WriteFile(path, text.data(), text.size()); }

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
  if (!ReadFile(path, &bytes)) return false;
  const std::vector<std::string> words = Words(bytes);
  if (words.size() != 1 || !ParseNumber(words[0], key)) {
    Error("'" + path + "' is not a private key (one line of 40 hex digits)");
    return false;
  }
  return true;
}

bool ReadPublicKey(const std::string& path, BYTE point[40]) {
  std::vector<BYTE> bytes;
  if (!ReadFile(path, &bytes)) return false;
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

int RunKeygen(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--key", "--pub"}, &o, &code)) return code;
  const std::string keyPath = Value(o, "--key"), pubPath = Value(o, "--pub");
  if (keyPath.empty() || pubPath.empty() || !o.positional.empty() || o.json)
    return UsageError("keygen needs --key OUT.key and --pub OUT.pub");
  if (!OutputsClear({}, {keyPath, pubPath})) return kExitUsage;
  BYTE key[20], point[40];
  {
    Curve curve;
    if (curve.get() == nullptr) {
      Error("the curve could not be set up");
      return kExitRefused;
    }
    bool ok = false;
    for (int attempt = 0; attempt < 16 && !ok; ++attempt)
      ok = ChannelRandom(key, sizeof key) && ChannelPublicKey(curve.get(), key, point);
    if (!ok) {
      Error("no random key could be drawn");
      return kExitRefused;
    }
  }
  const bool written = WriteText(keyPath, HexMsbFirst(key, 20) + "\n") && WriteText(pubPath, PublicKeyLine(point));
  std::memset(key, 0, sizeof key);
  return written ? kExitOk : kExitUsage;
}

int RunCertify(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--pub", "--level", "--root-key", "-o"}, &o, &code)) return code;
  const std::string pubPath = Value(o, "--pub"), levelText = Value(o, "--level"), rootPath = Value(o, "--root-key"),
                    outPath = Value(o, "-o");
  if (pubPath.empty() || levelText.empty() || rootPath.empty() || outPath.empty() || !o.positional.empty() || o.json)
    return UsageError("certify needs --pub HOLDER.pub --level N --root-key ROOT.key -o OUT.cert");
  char* end = nullptr;
  const unsigned long long level = std::strtoull(levelText.c_str(), &end, 0);
  if (levelText[0] == '-' || *end != '\0' || level > 0xFFFFFFFFull)
    return UsageError("--level expects a 32-bit number");
  if (!OutputsClear({pubPath, rootPath}, {outPath})) return kExitUsage;
  BYTE point[40], rootKey[20];
  if (!ReadPublicKey(pubPath, point) || !ReadPrivateKey(rootPath, rootKey)) return kExitUsage;
  BYTE certificate[kChannelCertificateLength];
  CertificateLayout(point, static_cast<DWORD>(level), 0, certificate);
  bool ok;
  {
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
  std::memset(rootKey, 0, sizeof rootKey);
  if (!ok) {
    Error("cannot sign with '" + rootPath + "' (a key of 0 or not below the group order?)");
    return kExitRefused;
  }
  return WriteFile(outPath, certificate, sizeof certificate) ? kExitOk : kExitUsage;
}

int RunWrap(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--key", "-o", "--seed"}, &o, &code)) return code;
  const std::string keyPath = Value(o, "--key"), outPath = Value(o, "-o"), seedText = Value(o, "--seed");
  if (keyPath.empty() || outPath.empty() || !o.positional.empty() || o.json)
    return UsageError("wrap needs --key KEY.key -o OUT.keycontainer");
  if (!OutputsClear({keyPath}, {outPath})) return kExitUsage;
  BYTE key[20];
  if (!ReadPrivateKey(keyPath, key)) return kExitUsage;
  std::vector<BYTE> container(kKeyContainerLength);
  BYTE seedBytes[2];
  bool ok;
  {
    ChannelLockMembership member;
    ChannelLockHeld held;
    ok = ChannelRandom(container.data(), kKeyContainerLength) && ChannelRandom(seedBytes, 2);
  }
  if (!ok) {
    Error("no random filler could be drawn");
    return kExitRefused;
  }
  WORD seed = static_cast<WORD>(seedBytes[0] << 8 | seedBytes[1]);
  if (!seedText.empty()) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(seedText.c_str(), &end, 0);
    if (seedText[0] == '-' || *end != '\0' || value > 0xFFFF) return UsageError("--seed expects a 16-bit number");
    seed = static_cast<WORD>(value);
  }
  KeyContainerWrap(key, seed, container.data());
  std::memset(key, 0, sizeof key);
  return WriteFile(outPath, container.data(), container.size()) ? kExitOk : kExitUsage;
}

int RunUnwrap(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"-o"}, &o, &code)) return code;
  const std::string outPath = Value(o, "-o");
  if (o.positional.size() != 1 || outPath.empty() || o.json) return UsageError("unwrap needs CONTAINER -o OUT.key");
  const std::string& in = o.positional[0];
  if (!OutputsClear({in}, {outPath})) return kExitUsage;
  std::vector<BYTE> container;
  if (!ReadFile(in, &container)) return kExitUsage;
  BYTE key[20];
  if (container.size() != kKeyContainerLength ||
      FAILED(KeyContainerExtract(container.data(), static_cast<DWORD>(container.size()), key))) {
    Error("'" + in + "' is not a key container (4096 bytes, key length at most 20)");
    return kExitRefused;
  }
  const bool written = WriteText(outPath, HexMsbFirst(key, 20) + "\n");
  std::memset(key, 0, sizeof key);
  return written ? kExitOk : kExitUsage;
}

int RunShow(const Args& args) {
  Options o;
  int code = kExitOk;
  if (!ParseOptions(args, {"--root"}, &o, &code)) return code;
  if (o.positional.size() != 1) return UsageError("show needs one CERT");
  const std::string& path = o.positional[0];
  const std::string rootPath = Value(o, "--root");
  std::vector<BYTE> certificate;
  if (!ReadFile(path, &certificate)) return kExitUsage;
  BYTE root[40];
  std::memcpy(root, kChannelRootPublicKey, sizeof root);
  if (!rootPath.empty() && !ReadPublicKey(rootPath, root)) return kExitUsage;
  if (certificate.size() != kChannelCertificateLength) {
    Error("'" + path + "' is not a certificate (" + std::to_string(certificate.size()) + " bytes, not 100)");
    return kExitRefused;
  }
  const BYTE* c = certificate.data();
  const DWORD format0 = ReadLe32(c), format88 = ReadLe32(c + kCertificateSecondFormatOffset);
  const DWORD signedLength = CertificateSignedLength(c);
  const DWORD level = CertificateSecurityLevel(c);
  std::string verdict;
  if (!CertificateFormatOk(c)) {
    verdict = "bad format word";
  } else if (signedLength > kCertificateMaxSignedLength) {
    verdict = "signed length past the certificate";
  } else {
    Curve curve;
    const bool ok = curve.get() != nullptr && ChannelVerify(curve.get(), root, c + kCertificateSignedOffset,
                                                            signedLength, c + kCertificateSignatureOffset);
    verdict = ok ? "verified" : "signature does not verify";
  }
  const bool verified = verdict == "verified";
  const std::string x = HexMsbFirst(c + 48, 20), y = HexMsbFirst(c + 68, 20), r = HexMsbFirst(c + 8, 20),
                    s = HexMsbFirst(c + 28, 20), rootText = HexMsbFirst(root, 20) + " " + HexMsbFirst(root + 20, 20);
  if (o.json) {
    std::printf(
        "{\"file\": \"%s\", \"format\": [%lu, %lu], \"signedLength\": %lu, \"level\": %lu, "
        "\"publicKey\": {\"x\": \"%s\", \"y\": \"%s\"}, \"signature\": {\"r\": \"%s\", \"s\": \"%s\"}, "
        "\"root\": \"%s\", \"verified\": %s, \"result\": \"%s\"}\n",
        [&] {
          std::string e;
          for (char ch : path) {
            if (ch == '"' || ch == '\\') e += '\\';
            if (static_cast<unsigned char>(ch) < 0x20) continue;
            e += ch;
          }
          return e;
        }()
            .c_str(),
        static_cast<unsigned long>(format0), static_cast<unsigned long>(format88),
        static_cast<unsigned long>(signedLength), static_cast<unsigned long>(level), x.c_str(), y.c_str(), r.c_str(),
        s.c_str(), rootText.c_str(), verified ? "true" : "false", verdict.c_str());
  } else {
    std::printf("Certificate    %s\n", path.c_str());
    std::printf("Format words   0x%lx, 0x%lx\n", static_cast<unsigned long>(format0),
                static_cast<unsigned long>(format88));
    std::printf("Signed length  %lu\n", static_cast<unsigned long>(signedLength));
    std::printf("Security level %lu\n", static_cast<unsigned long>(level));
    std::printf("Public key     %s %s\n", x.c_str(), y.c_str());
    std::printf("Signature      %s %s\n", r.c_str(), s.c_str());
    std::printf("Root           %s\n", rootText.c_str());
    std::printf("Result         %s\n", verdict.c_str());
  }
  return verified ? kExitOk : kExitRefused;
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
