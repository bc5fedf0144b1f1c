// tessfold-image as a user runs it: exit codes, messages and files written.
// Native: runs the built tool as a child process and signs with keys/dev.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "authoring/catalog_builder.h"
#include "tests/support/dev_keys.h"

namespace {

std::string Tool() {
  const char* dir = std::getenv("TF_BINARY_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/tools/tessfold-image";
}
std::string Key(const std::string& file) { return devkeys::DevKeyPath(file); }

struct Result {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ImageToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = ::testing::TempDir() + "tf_tool_" + std::to_string(::getpid()) + "_" + info->name();
    std::system(("rm -rf " + Quote(dir_) + " && mkdir -p " + Quote(dir_)).c_str());
  }

  void TearDown() override {
    if (!HasFailure()) std::system(("rm -rf " + Quote(dir_)).c_str());
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Result Run(const std::vector<std::string>& args) const {
    std::string command = Quote(Tool());
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >" + Quote(Path("stdout")) + " 2>" + Quote(Path("stderr"));
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(Path("stdout"));
    r.err = Slurp(Path("stderr"));
    return r;
  }

  // Builds an image with the tool; extra options as given.
  std::string Build(const std::string& name, std::vector<std::string> options = {"--cat-sig", "4096"}) const {
    std::vector<std::string> args = {"build", "-o", Path(name)};
    args.insert(args.end(), options.begin(), options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.code, 0) << r.err;
    return Path(name);
  }

  Result Sign(const std::string& in, const std::string& out, const std::string& chain,
              std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {"sign",    in,
                                     "--key",   Key(chain + "-signer.key"),
                                     "--cert",  Key(chain + "-signer.pem"),
                                     "--chain", Key(chain + "-ca.pem"),
                                     "--make",  "Corvane",
                                     "--model", "ZR-410",
                                     "-o",      out};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }

  std::string dir_;
};

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

TEST_F(ImageToolTest, UsageErrorsExitWithTwoAndOneLine) {
  const std::string image = Build("a.bin");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "tessfold-image: missing command\n"},
      {{"frob"}, "tessfold-image: unknown command 'frob'\n"},
      {{"info"}, "tessfold-image: info needs a FILE\n"},
      {{"info", image, image}, "tessfold-image: info takes one FILE\n"},
      {{"verify", image, "--colour"}, "tessfold-image: unknown option '--colour' for verify\n"},
      {{"verify", image, "--make"}, "tessfold-image: option '--make' needs a value\n"},
      {{"verify", image, "--kind", "firmware"},
       "tessfold-image: unknown kind 'firmware' (bootloader, recovery, os or font)\n"},
      {{"sign", image, "-o", Path("b.bin")}, "tessfold-image: sign needs --key and --cert\n"},
      {{"sign", image, "--key", "k", "--cert", "c", "-o", Path("b.bin")},
       "tessfold-image: sign needs --make and --model\n"},
      {{"sign", image, "--key", "k", "--cert", "c", "--make", "m", "--model", "m", "-o", image},
       "tessfold-image: OUT must be another file than FILE (the input is never modified)\n"},
      {{"build"}, "tessfold-image: build needs -o OUT\n"},
      {{"build", "-o", Path("x.bin"), "--size", "12Q"}, "tessfold-image: bad size '12Q'\n"},
      {{"build", "-o", Path("x.bin"), "--size", "0xFFFFFF00"},
       "tessfold-image: --size 4294967040 does not fit the 32-bit address space above the image start (2145386496 "
       "bytes)\n"},
      {{"build", "--description", Path("d.txt"), "-o", Path("d.txt")},
       "tessfold-image: OUT must be another file than the description\n"},
      {{"build", "-o", Path("x.bin"), "--no-chain", "--cat-sig", "64"},
       "tessfold-image: --cat-sig needs an extension chain (drop --no-chain)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(c.message) + "Try 'tessfold-image --help' for more information.\n");
  }
  const Result help = Run({"verify", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: tessfold-image <command> [options]\n", 0), 0u);
  EXPECT_NE(help.out.find("Exit status: 0 success or accepted, 1 refused, 2 usage error or unreadable input."),
            std::string::npos);
}

TEST_F(ImageToolTest, MissingFilesAndNonImagesAreUnreadableInput) {
  std::ofstream(Path("notes.txt")) << "B000FF but not quite\n";
  const std::string missing = Path("missing.bin");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string err;
  } cases[] = {
      {{"info", missing}, 2, "tessfold-image: cannot open '" + missing + "': no such file\n"},
      {{"verify", missing}, 2, "tessfold-image: cannot open '" + missing + "': no such file\n"},
      {{"info", dir_}, 2, "tessfold-image: cannot open '" + dir_ + "': it is a folder\n"},
      {{"info", Path("notes.txt")},
       2,
       "tessfold-image: '" + Path("notes.txt") + "' is not a ROM image (invalid bin header)\n"},
      {{"verify", Path("notes.txt")}, 2, "tessfold-image: '" + Path("notes.txt") + "' is not a ROM image\n"},
      {{"sign", missing, "--key", Key("test-signer.key"), "--cert", Key("test-signer.pem"), "--chain",
        Key("test-ca.pem"), "--make", "m", "--model", "m", "-o", Path("out.bin")},
       2,
       "tessfold-image: cannot read '" + missing + "'\n"},
      {{"sign", Path("notes.txt"), "--key", Path("nokey.pem"), "--cert", Key("test-signer.pem"), "--make", "m",
        "--model", "m", "-o", Path("out.bin")},
       2,
       "tessfold-image: cannot read key file '" + Path("nokey.pem") + "'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.err, c.err);
  }
  // A font is sent whatever the image checks find, even when it is no image.
  const Result font = Run({"verify", Path("notes.txt"), "--kind", "font"});
  EXPECT_EQ(font.code, 0);
  EXPECT_NE(font.out.find("SENT ANYWAY"), std::string::npos) << font.out;
}

TEST_F(ImageToolTest, InfoListsTheImage) {
  const std::string image =
      Build("a.bin", {"--module", "nk.exe,0x800,0x100", "--file", "fonts.dat,300", "--cat-sig", "2048"});
  const Result r = Run({"info", image});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* expected : {
           "image start: 0x80200000\n",
           "modules: 1\n  module 0: 'nk.exe', 2 sections\n",
           "    section 1: virtual size 256, physical size 256",
           "files: 1\n  file 0: 'fonts.dat', 300 bytes stored, 300 real\n",
           "  (head) 'chain': 0 bytes",
           "cat_sig: present, 2048 bytes at 0x",
       }) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }

  // A long path is listed whole, and the next line still starts on its own.
  const std::string folder = std::string(200, 'f') + "/" + std::string(200, 'g') + "/" + std::string(200, 'h');
  std::system(("mkdir -p " + Quote(Path(folder))).c_str());
  const std::string deep = Build(folder + "/b.bin");
  const Result listed = Run({"info", deep});
  EXPECT_EQ(listed.out.rfind("file: " + deep + "\nimage start: ", 0), 0u) << listed.out.substr(0, 80);
}

TEST_F(ImageToolTest, SignThenVerifyThroughEachChain) {
  const std::string placeholder = Build("a.bin");
  const std::string bare = Build("b.bin", {});
  const std::string before = Slurp(placeholder), bareBefore = Slurp(bare);
  const struct {
    const char* chain;
    const char* line;
    const char* level;
  } chains[] = {{"test", "Test Signature PASSED.\r\n", "test"},
                {"odm", "ODM Signature PASSED.\r\n", "ODM"},
                {"product", "Product Signature PASSED.\r\n", "product"}};
  for (const auto& c : chains) {
    SCOPED_TRACE(c.chain);
    for (const std::string& in : {placeholder, bare}) {
      const std::string out = Path(std::string(c.chain) + "-signed.bin");
      const Result s = Sign(in, out, c.chain);
      ASSERT_EQ(s.code, 0) << s.err;
      EXPECT_NE(s.out.find(in == bare ? "in a new extension record" : "in the cat_sig placeholder"), std::string::npos)
          << s.out;
      const Result v = Run({"verify", out, "--make", "Corvane", "--model", "ZR-410"});
      EXPECT_EQ(v.code, 0) << v.out;
      EXPECT_NE(v.out.find(c.line), std::string::npos) << v.out;
      EXPECT_NE(v.out.find(std::string("ACCEPTED: ") + c.level + " signature, make and model match\n"),
                std::string::npos)
          << v.out;
      const Result other = Run({"verify", out, "--make", "Corvane", "--model", "ZR-411"});
      EXPECT_EQ(other.code, 1);
      EXPECT_NE(other.out.find("Device Model Attribute mismatch!\r\n"), std::string::npos) << other.out;
      EXPECT_NE(other.out.find("REFUSED: device model mismatch\n"), std::string::npos) << other.out;
    }
  }
  // Signing never touches its input.
  EXPECT_EQ(Slurp(placeholder), before);
  EXPECT_EQ(Slurp(bare), bareBefore);
}

TEST_F(ImageToolTest, SignRefusesWhatCannotBeMadeToVerify) {
  const std::string image = Build("a.bin");
  const std::string before = Slurp(image);

  // A signer certificate under the dev CA but without the catalog-signing
  // purpose: the chain reaches an anchor, the verifier still refuses it.
  catalog::Pkey key = catalog::GenerateRsaKey(1024);
  const catalog::Bytes signerCert = catalog::LoadCertificatesPem(Key("test-signer.pem")).front();
  const catalog::Bytes cert =
      catalog::MakeCertificate({.issuer = catalog::IssuerAndSerialOf(signerCert).issuer,
                                .subject = der::NameWithCommonName("No Purpose"),
                                .serial = {0x42},
                                .publicKeyInfo = catalog::PublicKeyInfo(key.get()),
                                .signer = catalog::LoadPrivateKeyPem(Key("test-ca.key")).get()});
  {
    FILE* f = std::fopen(Path("np.pem").c_str(), "wb");
    const unsigned char* p = cert.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(cert.size()));
    PEM_write_X509(f, x);
    X509_free(x);
    std::fclose(f);
    f = std::fopen(Path("np.key").c_str(), "wb");
    PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
  }

  const std::string out = Path("out.bin");
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"key of another certificate",
       {"sign", image, "--key", Key("odm-signer.key"), "--cert", Key("test-signer.pem"), "--chain", Key("test-ca.pem"),
        "--make", "C", "--model", "M", "-o", out},
       "tessfold-image: the key in '" + Key("odm-signer.key") + "' does not belong to the certificate in '" +
           Key("test-signer.pem") + "'\n"},
      {"chain missing",
       {"sign", image, "--key", Key("odm-signer.key"), "--cert", Key("odm-signer.pem"), "--make", "C", "--model", "M",
        "-o", out},
       "tessfold-image: certificate chain does not reach a built-in anchor: no certificate for issuer "},
      {"placeholder too small",
       {"sign", Build("small.bin", {"--cat-sig", "64"}), "--key", Key("odm-signer.key"), "--cert",
        Key("odm-signer.pem"), "--chain", Key("odm-ca.pem"), "--make", "C", "--model", "M", "-o", out},
       "tessfold-image: the catalog ("},
      {"no extension chain",
       {"sign", Build("nochain.bin", {"--no-chain"}), "--key", Key("odm-signer.key"), "--cert", Key("odm-signer.pem"),
        "--chain", Key("odm-ca.pem"), "--make", "C", "--model", "M", "-o", out},
       "tessfold-image: the image has no ROM extension chain to link a cat_sig into"},
      {"signer without the catalog purpose",
       {"sign", image, "--key", Path("np.key"), "--cert", Path("np.pem"), "--chain", Key("test-ca.pem"), "--make", "C",
        "--model", "M", "-o", out},
       "tessfold-image: the signed image would not verify (ERROR: Signature validatation test FAILED. Status: 0, "
       "ErrorCode: 2); nothing written\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".partial"));
  }
  EXPECT_EQ(Slurp(image), before);
}

// Nothing that sign reads may be where it writes: OUT, or OUT.partial on the
// way there. Copies of the signing files stand in for the real ones.
TEST_F(ImageToolTest, SignNeverWritesOverItsInputs) {
  for (const char* file : {"test-signer.key", "test-signer.pem", "test-ca.pem"}) {
    std::ofstream(Path(file), std::ios::binary) << Slurp(Key(file));
  }
  const std::string image = Build("a.bin");
  std::ofstream(Path("b.bin.partial"), std::ios::binary) << Slurp(image);
  const struct {
    std::string input, out;
  } cases[] = {
      {image, Path("test-signer.key")},       {image, Path("test-signer.pem")}, {image, Path("test-ca.pem")},
      {Path("b.bin.partial"), Path("b.bin")}, {image, Path("./test-ca.pem")},  // another spelling of the same file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    std::vector<std::string> before;
    for (const char* file : {"a.bin", "b.bin.partial", "test-signer.key", "test-signer.pem", "test-ca.pem"}) {
      before.push_back(Slurp(Path(file)));
    }
    const Result r = Run({"sign", c.input, "--key", Path("test-signer.key"), "--cert", Path("test-signer.pem"),
                          "--chain", Path("test-ca.pem"), "--make", "C", "--model", "M", "-o", c.out});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("must not be FILE or a --key, --cert or --chain file"), std::string::npos) << r.err;
    std::vector<std::string> after;
    for (const char* file : {"a.bin", "b.bin.partial", "test-signer.key", "test-signer.pem", "test-ca.pem"}) {
      after.push_back(Slurp(Path(file)));
    }
    EXPECT_EQ(after, before);
  }
}

// The windows are the transfer's own (its rules suite holds their table):
// one size, just past the boot loader's window, tells each kind apart.
TEST_F(ImageToolTest, VerifyAppliesTheKindsSizeWindows) {
  const std::string signedImage = Path("signed.bin");
  ASSERT_EQ(Sign(Build("img.bin", {"--size", "0x80001", "--cat-sig", "4096"}), signedImage, "test").code, 0);
  const std::pair<const char*, int> kinds[] = {{"bootloader", 1}, {"recovery", 0}, {"os", 1}, {"font", 0}};
  for (const auto& [kind, code] : kinds) {
    SCOPED_TRACE(kind);
    const Result r = Run({"verify", signedImage, "--kind", kind});
    EXPECT_EQ(r.code, code) << r.out;
  }
  EXPECT_NE(Run({"verify", signedImage, "--kind", "bootloader"})
                .out.find("REFUSED: 524289 bytes outside the bootloader window (at most 0x80000 bytes)\n"),
            std::string::npos);
}

// Past 4 GiB the whole size counts: a signed boot loader padded to 4 GiB +
// 64 KiB is far outside its window, though the size's low 32 bits are not.
TEST_F(ImageToolTest, VerifyJudgesTheWholeSizeOfLargeFiles) {
  const std::string image = Path("large.bin");
  ASSERT_EQ(Sign(Build("small.bin"), image, "test").code, 0);
  ASSERT_EQ(Run({"verify", image, "--kind", "bootloader"}).code, 0);
  ASSERT_EQ(::truncate(image.c_str(), 0x100010000LL), 0);  // sparse: nothing is written
  const Result r = Run({"verify", image, "--kind", "bootloader"});
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("REFUSED: 4295032832 bytes outside the bootloader window"), std::string::npos) << r.out;
}

TEST_F(ImageToolTest, VerifyJsonIsOneObjectOnStandardOutput) {
  const std::string unsignedImage = Build("a.bin");
  const std::string image = Path("signed.bin");
  ASSERT_EQ(Sign(unsignedImage, image, "product").code, 0);
  // The same layout from another seed differs from the signed image in its
  // content: its last differing byte lies in the last file's data, which the
  // digest covers.
  const std::string signedBytes = Slurp(image), unsignedBytes = Slurp(unsignedImage);
  const std::string reseeded = Slurp(Build("b.bin", {"--cat-sig", "4096", "--seed", "2"}));
  ASSERT_EQ(reseeded.size(), unsignedBytes.size());
  size_t content = unsignedBytes.size();
  while (content > 0 && unsignedBytes[content - 1] == reseeded[content - 1]) --content;
  ASSERT_GT(content, 0u);
  ASSERT_EQ(signedBytes[content - 1], unsignedBytes[content - 1]);
  std::string tamperedBytes = signedBytes;
  tamperedBytes[content - 1] ^= 0x01;
  std::ofstream(Path("tampered.bin"), std::ios::binary) << tamperedBytes;

  const struct {
    const char* what;
    std::vector<std::string> args;
    int code;
    std::vector<const char*> fields;
  } cases[] = {
      {"accepted",
       {"verify", image, "--make", "Corvane", "--model", "ZR-410", "--json"},
       0,
       {"\"accepted\":true", "\"imageAccepted\":true", "\"signature\":\"passed\"", "\"reason\":\"\"",
        "\"trustLevel\":\"product\"", "\"rootLevel\":3", "\"make\":{\"expected\":\"Corvane\",\"result\":\"passed\"}"}},
      {"make mismatch, outside the size window",
       {"verify", image, "--make", "corvane", "--model", "ZR-410", "--kind", "os", "--json"},
       1,
       {"\"accepted\":false", "\"imageAccepted\":false", "\"signature\":\"passed\"",
        "\"reason\":\"device make mismatch\"", "\"trustLevel\":\"product\"", "\"rootLevel\":3", "\"digest\":\"",
        "\"make\":{\"expected\":\"corvane\",\"result\":\"mismatch\"}",
        "\"model\":{\"expected\":\"ZR-410\",\"result\":\"passed\"}", "\"kind\":\"os\"", "\"sizeWindow\":\"outside\""}},
      {"signature check failed",
       {"verify", Path("tampered.bin"), "--make", "Corvane", "--model", "ZR-410", "--json"},
       1,
       {"\"accepted\":false", "\"imageAccepted\":false", "\"signature\":\"failed\"",
        "\"reason\":\"the signature check failed (status ", "\"trustLevel\":null", "\"rootLevel\":0", "\"digest\":\"",
        "\"make\":{\"expected\":\"Corvane\",\"result\":\"not checked\"}"}},
      {"not stamped",
       {"verify", unsignedImage, "--json"},
       1,
       {"\"accepted\":false", "\"signature\":\"failed\"", "\"trustLevel\":null", "\"rootLevel\":0"}},
      // Inputs that cannot be judged at all still give one object.
      {"no such file",
       {"verify", Path("missing.bin"), "--json"},
       2,
       {"\"image\":false", "\"accepted\":false", "\"error\":\"cannot open '", "missing.bin': no such file\"}"}},
      {"not an image",
       {"verify", Path("notes.txt"), "--json"},
       2,
       {"\"image\":false", "\"error\":\"'", "notes.txt' is not a ROM image\"", "\"accepted\":false"}},
  };
  std::ofstream(Path("notes.txt")) << "not an image\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(r.out.rfind("{\"file\":", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    for (const char* field : c.fields) EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
  }
  EXPECT_NE(Run(cases[1].args).err.find("Device Make Attribute mismatch!"), std::string::npos);

  // Bytes that are not UTF-8 come out as U+FFFD, so the object stays JSON.
  const Result odd = Run({"verify", image, "--make", "Corv\xFF", "--json"});
  EXPECT_NE(odd.out.find("\"make\":{\"expected\":\"Corv\xEF\xBF\xBD\""), std::string::npos) << odd.out;
}

// An output is written through a link to the file it names, never over a
// device or a folder, and a failed write names its cause; in every failure
// the earlier output (and the device) stays as it was.
TEST_F(ImageToolTest, OutputsGoThroughLinksAndNeverOverDevices) {
  std::ofstream(Path("target.bin")) << "earlier";
  ASSERT_EQ(::symlink("target.bin", Path("link.bin").c_str()), 0);
  ASSERT_EQ(::symlink("made.bin", Path("dangling.bin").c_str()), 0);
  const struct {
    std::string out;
    std::string written;  // the file that must hold the image
  } written[] = {{Path("link.bin"), Path("target.bin")}, {Path("dangling.bin"), Path("made.bin")}};
  for (const auto& c : written) {
    SCOPED_TRACE(c.out);
    const Result r = Run({"build", "-o", c.out});
    EXPECT_EQ(r.code, 0) << r.err;
    char target[256] = {};
    EXPECT_GT(::readlink(c.out.c_str(), target, sizeof target - 1), 0) << "the link was replaced";
    EXPECT_EQ(Slurp(c.written).rfind("B000FF\n", 0), 0u);
    EXPECT_FALSE(Exists(c.written + ".partial"));
  }

  // A named pipe stands for any device (a test that broke /dev/full would
  // break it for the whole machine).
  std::ofstream(Path("kept.bin")) << "earlier";
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } refused[] = {
      {{"build", "-o", Path("fifo")}, "tessfold-image: cannot write '" + Path("fifo") + "': not a regular file\n"},
      {{"build", "-o", dir_}, "tessfold-image: cannot write '" + dir_ + "': it is a folder\n"},
      {{"build", "-o", Path("no/such/folder.bin")},
       "tessfold-image: cannot write '" + Path("no/such/folder.bin") + "': No such file or directory\n"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args[2]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
  struct stat device {};
  EXPECT_EQ(::stat(Path("fifo").c_str(), &device), 0);
  EXPECT_TRUE(S_ISFIFO(device.st_mode)) << "the pipe was replaced";

  // A write that fails half-way (the file size limit) says why and leaves the
  // earlier output alone.
  const std::string command = "ulimit -f 1; trap '' XFSZ; " + Quote(Tool()) + " build --size 0x10000 -o " +
                              Quote(Path("kept.bin")) + " 2>" + Quote(Path("stderr"));
  const int status = std::system(("sh -c " + Quote(command)).c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
  EXPECT_EQ(Slurp(Path("stderr")), "tessfold-image: cannot write '" + Path("kept.bin") + "': File too large\n");
  EXPECT_EQ(Slurp(Path("kept.bin")), "earlier");
  EXPECT_FALSE(Exists(Path("kept.bin.partial")));
}

// Sign reads the file a link names: a link to one of its inputs is no
// place for its output.
TEST_F(ImageToolTest, SignRefusesAnOutputLinkedToAnInput) {
  const std::string image = Build("a.bin");
  ASSERT_EQ(::symlink(image.c_str(), Path("out.bin").c_str()), 0);
  const std::string before = Slurp(image);
  const Result r = Sign(image, Path("out.bin"), "test");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("OUT must be another file than FILE"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(image), before);
}

}  // namespace
