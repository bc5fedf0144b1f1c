// The DER parser against structures that OpenSSL wrote, with OpenSSL's own
// decoding of the same bytes as the oracle. Fixtures come from the openssl
// command line, run at test time, and from libcrypto where the command line
// cannot express them (a version 1 certificate; unique identifiers, which are
// spliced into an openssl certificate with the DER builder).
#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mincrypt/asn1parse.h"
#include "tests/mincrypt/asn1_test_util.h"
#include "tests/support/der_builder.h"

using namespace der;
using asn1test::Blob;
using asn1test::Hex;
using asn1test::IsAbsent;

namespace {

const std::string kDir = "asn1_openssl";

void RunOpenSsl(const std::string& command) {
  const std::string full = "cd " + kDir + " && " + command + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(full.c_str()), 0) << full;
}

void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(kDir + "/" + name, std::ios::binary) << text;
}

Bytes ReadFile(const std::string& name) {
  std::ifstream in(kDir + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// i2d of any OpenSSL object into bytes.
template <typename T, typename F>
Bytes I2d(F i2d, T* object) {
  const int cb = i2d(object, nullptr);
  if (cb <= 0) return {};
  Bytes out(static_cast<size_t>(cb));
  unsigned char* p = out.data();
  i2d(object, &p);
  return out;
}

Bytes ObjectContent(const ASN1_OBJECT* obj) { return Bytes(OBJ_get0_data(obj), OBJ_get0_data(obj) + OBJ_length(obj)); }

Bytes BnBytes(const EVP_PKEY* pkey, const char* param) {
  BIGNUM* bn = nullptr;
  if (!EVP_PKEY_get_bn_param(pkey, param, &bn)) return {};
  Bytes out(static_cast<size_t>(BN_num_bytes(bn)));
  BN_bn2bin(bn, out.data());
  BN_free(bn);
  return out;
}

// An INTEGER's content without the sign octet that DER adds to positive
// numbers whose top bit is set.
Bytes Magnitude(const DerBlob& integer) {
  Bytes b = asn1test::Bytes(integer);
  if (b.size() > 1 && b[0] == 0) b.erase(b.begin());
  return b;
}

class Asn1OpenSsl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::system(("rm -rf " + kDir + " && mkdir -p " + kDir).c_str());
    // A 2048-bit RSA root: long-form lengths everywhere.
    RunOpenSsl(
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -days 3650 -subj '/C=DE/O=Tessfold Test/CN=Oracle "
        "CA' -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign,cRLSign' "
        "-outform DER -out ca.der");
    RunOpenSsl("openssl x509 -inform DER -in ca.der -out ca.pem");
    // An EC leaf with several extensions, a GeneralizedTime notAfter (33
    // years on: past 2049) and a long serial number.
    RunOpenSsl(
        "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout leaf.key -subj "
        "'/CN=Oracle Leaf/OU=Signing' -out leaf.csr");
    WriteFile("leaf.ext",
              "basicConstraints=CA:FALSE\n"
              "keyUsage=critical,digitalSignature\n"
              "extendedKeyUsage=codeSigning,1.3.6.1.4.1.311.10.3.13\n"
              "subjectAltName=DNS:leaf.example,email:a@example.org\n"
              "subjectKeyIdentifier=hash\n"
              "authorityKeyIdentifier=keyid\n");
    RunOpenSsl(
        "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x00f1e2d3c4b5a697886979 "
        "-days 12000 -extfile leaf.ext -outform DER -out leaf.der");
    RunOpenSsl("openssl x509 -inform DER -in leaf.der -out leaf.pem");
    WriteFile("msg.txt", "catalog payload");
    RunOpenSsl(
        "openssl cms -sign -binary -nodetach -in msg.txt -signer leaf.pem -inkey leaf.key -certfile ca.pem -md "
        "sha256 -outform DER -out signed_cms.der");
    RunOpenSsl(
        "openssl smime -sign -binary -nodetach -noattr -in msg.txt -signer ca.pem -inkey ca.key -md sha1 "
        "-outform DER -out signed_noattr.der");
    RunOpenSsl("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -pkeyopt rsa_keygen_pubexp:3 -out e3.key");
    RunOpenSsl("openssl rsa -in e3.key -RSAPublicKey_out -outform DER -out e3_rsapub.der");
    RunOpenSsl("openssl rsa -in ca.key -RSAPublicKey_out -outform DER -out ca_rsapub.der");
  }
};

struct X509Holder {
  X509* x = nullptr;
  explicit X509Holder(const Bytes& der) {
    const unsigned char* p = der.data();
    x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  }
  ~X509Holder() { X509_free(x); }
};

void ExpectAlgIdMatches(const DerBlob& encoded, const X509_ALGOR* alg) {
  DerBlob slots[MINASN1_ALGID_BLOB_CNT];
  ASSERT_EQ(MinAsn1ParseAlgorithmIdentifier(&encoded, slots), static_cast<LONG>(encoded.cbData));
  const ASN1_OBJECT* obj = nullptr;
  int ptype = 0;
  const void* pval = nullptr;
  X509_ALGOR_get0(&obj, &ptype, &pval, alg);
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_ALGID_OID_IDX]), ObjectContent(obj));
  if (ptype == V_ASN1_UNDEF) {
    EXPECT_TRUE(IsAbsent(slots[MINASN1_ALGID_PARA_IDX]));
  } else if (ptype == V_ASN1_NULL) {
    EXPECT_EQ(Hex(slots[MINASN1_ALGID_PARA_IDX]), "0500");
  } else if (ptype == V_ASN1_OBJECT) {
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_ALGID_PARA_IDX]),
              I2d(i2d_ASN1_OBJECT, static_cast<const ASN1_OBJECT*>(pval)));
  }
}

// Compares every slot of our certificate parse with OpenSSL's decoding.
void ExpectCertificateMatches(const Bytes& der) {
  X509Holder holder(der);
  X509* x = holder.x;
  ASSERT_NE(x, nullptr);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  asn1test::Poison(slots);
  ASSERT_EQ(MinAsn1ParseCertificate(der.data(), static_cast<DWORD>(der.size()), slots), static_cast<LONG>(der.size()));

  EXPECT_EQ(slots[MINASN1_CERT_ENCODED_IDX].pbData, der.data());
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_TO_BE_SIGNED_IDX]), I2d(i2d_re_X509_tbs, x));
  const ASN1_BIT_STRING* signature = nullptr;
  const X509_ALGOR* sigAlg = nullptr;
  X509_get0_signature(&signature, &sigAlg, x);
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_SIGN_ALGID_IDX]), I2d(i2d_X509_ALGOR, sigAlg));
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_SIGNATURE_IDX]),
            Bytes(signature->data, signature->data + signature->length));

  if (X509_get_version(x) == X509_VERSION_1) {
    EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_VERSION_IDX]));
  } else {
    EXPECT_EQ(Hex(slots[MINASN1_CERT_VERSION_IDX]), ToHex(Bytes{static_cast<uint8_t>(X509_get_version(x))}));
  }
  EXPECT_EQ(IntegerRaw(asn1test::Bytes(slots[MINASN1_CERT_SERIAL_NUMBER_IDX])),
            I2d(i2d_ASN1_INTEGER, X509_get_serialNumber(x)));
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_ISSUER_IDX]), I2d(i2d_X509_NAME, X509_get_issuer_name(x)));
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_SUBJECT_IDX]), I2d(i2d_X509_NAME, X509_get_subject_name(x)));
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_NOT_BEFORE_IDX]), I2d(i2d_ASN1_TIME, X509_get0_notBefore(x)));
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_NOT_AFTER_IDX]), I2d(i2d_ASN1_TIME, X509_get0_notAfter(x)));
  X509_PUBKEY* pub = X509_get_X509_PUBKEY(x);
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_PUBKEY_INFO_IDX]), I2d(i2d_X509_PUBKEY, pub));

  const ASN1_BIT_STRING* issuerUid = nullptr;
  const ASN1_BIT_STRING* subjectUid = nullptr;
  X509_get0_uids(x, &issuerUid, &subjectUid);
  for (auto [uid, slot] : {std::pair{issuerUid, MINASN1_CERT_ISSUER_UNIQUE_ID_IDX},
                           std::pair{subjectUid, MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX}}) {
    if (uid == nullptr) {
      EXPECT_TRUE(IsAbsent(slots[slot])) << slot;
    } else {
      EXPECT_EQ(asn1test::Bytes(slots[slot]), Bytes(uid->data, uid->data + uid->length)) << slot;
    }
  }

  // SubjectPublicKeyInfo, its algorithm and, for RSA, the key itself.
  DerBlob keyInfo[MINASN1_PUBKEY_INFO_BLOB_CNT];
  ASSERT_GT(MinAsn1ParsePublicKeyInfo(&slots[MINASN1_CERT_PUBKEY_INFO_IDX], keyInfo), 0);
  const unsigned char* pk = nullptr;
  int cbPk = 0;
  X509_ALGOR* keyAlg = nullptr;
  X509_PUBKEY_get0_param(nullptr, &pk, &cbPk, &keyAlg, pub);
  EXPECT_EQ(asn1test::Bytes(keyInfo[MINASN1_PUBKEY_INFO_PUBKEY_IDX]), Bytes(pk, pk + cbPk));
  EXPECT_EQ(asn1test::Bytes(keyInfo[MINASN1_PUBKEY_INFO_ALGID_IDX]), I2d(i2d_X509_ALGOR, keyAlg));
  ExpectAlgIdMatches(keyInfo[MINASN1_PUBKEY_INFO_ALGID_IDX], keyAlg);
  ExpectAlgIdMatches(slots[MINASN1_CERT_SIGN_ALGID_IDX], sigAlg);
  EVP_PKEY* pkey = X509_get0_pubkey(x);
  if (EVP_PKEY_get_base_id(pkey) == EVP_PKEY_RSA) {
    DerBlob rsa[MINASN1_RSA_PUBKEY_BLOB_CNT];
    ASSERT_GT(MinAsn1ParseRSAPublicKey(&keyInfo[MINASN1_PUBKEY_INFO_PUBKEY_IDX], rsa), 0);
    EXPECT_EQ(Magnitude(rsa[MINASN1_RSA_PUBKEY_MODULUS_IDX]), BnBytes(pkey, OSSL_PKEY_PARAM_RSA_N));
    EXPECT_EQ(Magnitude(rsa[MINASN1_RSA_PUBKEY_EXPONENT_IDX]), BnBytes(pkey, OSSL_PKEY_PARAM_RSA_E));
  }

  // Extensions, one record each, in order.
  const STACK_OF(X509_EXTENSION)* exts = X509_get0_extensions(x);
  if (exts == nullptr) {
    EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_EXTS_IDX]));
    return;
  }
  EXPECT_EQ(asn1test::Bytes(slots[MINASN1_CERT_EXTS_IDX]), I2d(i2d_X509_EXTENSIONS, exts));
  DerBlob records[16][MINASN1_EXT_BLOB_CNT];
  DWORD cExt = 16;
  ASSERT_EQ(MinAsn1ParseExtensions(&slots[MINASN1_CERT_EXTS_IDX], &cExt, records),
            static_cast<LONG>(slots[MINASN1_CERT_EXTS_IDX].cbData));
  ASSERT_EQ(cExt, static_cast<DWORD>(X509_get_ext_count(x)));
  for (DWORD i = 0; i < cExt; i++) {
    X509_EXTENSION* ext = X509_get_ext(x, static_cast<int>(i));
    EXPECT_EQ(asn1test::Bytes(records[i][MINASN1_EXT_ENCODED_IDX]), I2d(i2d_X509_EXTENSION, ext));
    EXPECT_EQ(asn1test::Bytes(records[i][MINASN1_EXT_OID_IDX]), ObjectContent(X509_EXTENSION_get_object(ext)));
    EXPECT_EQ(!IsAbsent(records[i][MINASN1_EXT_CRITICAL_IDX]), X509_EXTENSION_get_critical(ext) != 0);
    const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(ext);
    EXPECT_EQ(asn1test::Bytes(records[i][MINASN1_EXT_VALUE_IDX]), Bytes(value->data, value->data + value->length));
    // The lookup finds the first record with this identifier, which is this one.
    const DerBlob* found = MinAsn1FindExtension(&records[i][MINASN1_EXT_OID_IDX], cExt, records);
    EXPECT_EQ(found, records[X509_get_ext_by_OBJ(x, X509_EXTENSION_get_object(ext), -1)]);
  }
}

TEST_F(Asn1OpenSsl, CertificatesFromTheCommandLine) {
  for (const char* name : {"ca.der", "leaf.der"}) {
    SCOPED_TRACE(name);
    const Bytes der = ReadFile(name);
    ASSERT_FALSE(der.empty());
    ExpectCertificateMatches(der);
    X509Holder holder(der);
    EXPECT_GE(X509_get_ext_count(holder.x), 2) << "the fixture must carry extensions";
  }
}

TEST_F(Asn1OpenSsl, VersionOneCertificateFromLibcrypto) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  ASSERT_NE(key, nullptr);
  X509* x = X509_new();
  ASSERT_TRUE(X509_set_version(x, X509_VERSION_1));
  ASN1_INTEGER_set(X509_get_serialNumber(x), 0x7f);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("V1"), -1, -1, 0);
  X509_set_issuer_name(x, name);
  X509_gmtime_adj(X509_getm_notBefore(x), 0);
  X509_gmtime_adj(X509_getm_notAfter(x), 3600);
  X509_set_pubkey(x, key);
  ASSERT_GT(X509_sign(x, key, EVP_sha256()), 0);
  const Bytes der = I2d(i2d_X509, x);
  X509_free(x);
  EVP_PKEY_free(key);
  ExpectCertificateMatches(der);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  ASSERT_GT(MinAsn1ParseCertificate(der.data(), static_cast<DWORD>(der.size()), slots), 0);
  EXPECT_EQ(slots[MINASN1_CERT_SERIAL_NUMBER_IDX].pbData - slots[MINASN1_CERT_TO_BE_SIGNED_IDX].pbData, 5)
      << "no [0] version wrapper: the serial number's content follows the TBS and INTEGER headers";
}

TEST_F(Asn1OpenSsl, UniqueIdentifiersSplicedIntoAnOpenSslCertificate) {
  // The openssl tools cannot write issuerUniqueID and subjectUniqueID, so the
  // leaf's TBS is rebuilt with the DER builder from OpenSSL's own encodings
  // of its parts, with both identifiers inserted before the extensions. The
  // signature no longer verifies, which neither parser looks at.
  X509Holder leaf(ReadFile("leaf.der"));
  ASSERT_NE(leaf.x, nullptr);
  X509* x = leaf.x;
  const ASN1_BIT_STRING* signature = nullptr;
  const X509_ALGOR* sigAlg = nullptr;
  X509_get0_signature(&signature, &sigAlg, x);
  const Bytes sigAlgDer = I2d(i2d_X509_ALGOR, sigAlg);
  const Bytes tbs = Seq({Explicit(0, {Integer(2)}), I2d(i2d_ASN1_INTEGER, X509_get_serialNumber(x)), sigAlgDer,
                         I2d(i2d_X509_NAME, X509_get_issuer_name(x)),
                         Seq({I2d(i2d_ASN1_TIME, X509_get0_notBefore(x)), I2d(i2d_ASN1_TIME, X509_get0_notAfter(x))}),
                         I2d(i2d_X509_NAME, X509_get_subject_name(x)), I2d(i2d_X509_PUBKEY, X509_get_X509_PUBKEY(x)),
                         Implicit(1, FromHex("00 0102030405")), Implicit(2, FromHex("04 abcde0")),
                         Explicit(3, {I2d(i2d_X509_EXTENSIONS, X509_get0_extensions(x))})});
  const Bytes der = Seq({tbs, sigAlgDer, BitString(Bytes(signature->data, signature->data + signature->length))});

  X509Holder spliced(der);
  ASSERT_NE(spliced.x, nullptr) << "OpenSSL must accept the spliced certificate";
  const ASN1_BIT_STRING* issuerUid = nullptr;
  const ASN1_BIT_STRING* subjectUid = nullptr;
  X509_get0_uids(spliced.x, &issuerUid, &subjectUid);
  ASSERT_NE(issuerUid, nullptr);
  ASSERT_NE(subjectUid, nullptr);
  ExpectCertificateMatches(der);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  ASSERT_GT(MinAsn1ParseCertificate(der.data(), static_cast<DWORD>(der.size()), slots), 0);
  EXPECT_EQ(Hex(slots[MINASN1_CERT_ISSUER_UNIQUE_ID_IDX]), "0102030405");
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX]), "abcde0");
}

struct Pkcs7Holder {
  PKCS7* p7 = nullptr;
  explicit Pkcs7Holder(const Bytes& der) {
    const unsigned char* p = der.data();
    p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
  }
  ~Pkcs7Holder() { PKCS7_free(p7); }
};

TEST_F(Asn1OpenSsl, SignedDataFromCmsAndSmime) {
  for (const char* name : {"signed_cms.der", "signed_noattr.der"}) {
    SCOPED_TRACE(name);
    const Bytes der = ReadFile(name);
    Pkcs7Holder holder(der);
    ASSERT_NE(holder.p7, nullptr);
    PKCS7* p7 = holder.p7;
    ASSERT_TRUE(PKCS7_type_is_signed(p7));
    PKCS7_SIGNED* sd = p7->d.sign;
    DerBlob slots[MINASN1_SIGNED_DATA_BLOB_CNT];
    asn1test::Poison(slots);
    ASSERT_EQ(MinAsn1ParseSignedData(der.data(), static_cast<DWORD>(der.size()), slots), static_cast<LONG>(der.size()));

    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_OUTER_OID_IDX]), ObjectContent(p7->type));
    EXPECT_EQ(IntegerRaw(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_VERSION_IDX])), I2d(i2d_ASN1_INTEGER, sd->version));
    // OpenSSL writes the digest algorithms with its SEQUENCE OF type: same content, other identifier.
    Bytes algIds = I2d(i2d_X509_ALGORS, sd->md_algs);
    algIds[0] = 0x31;
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_DIGEST_ALGIDS_IDX]), algIds);
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_CONTENT_OID_IDX]), ObjectContent(sd->contents->type));
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_CONTENT_DATA_IDX]),
              I2d(i2d_ASN1_OCTET_STRING, sd->contents->d.data));
    EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_CRLS_IDX]));

    // The certificates, through the list parser.
    DerBlob certs[10][MINASN1_CERT_BLOB_CNT];
    DWORD cCert = 10;
    ASSERT_EQ(MinAsn1ParseCertificates(&slots[MINASN1_SIGNED_DATA_CERTS_IDX], &cCert, certs),
              static_cast<LONG>(slots[MINASN1_SIGNED_DATA_CERTS_IDX].cbData));
    ASSERT_EQ(cCert, static_cast<DWORD>(sk_X509_num(sd->cert)));
    for (DWORD i = 0; i < cCert; i++) {
      EXPECT_EQ(asn1test::Bytes(certs[i][MINASN1_CERT_ENCODED_IDX]),
                I2d(i2d_X509, sk_X509_value(sd->cert, static_cast<int>(i))));
    }

    // The first (and only) SignerInfo.
    ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(sd->signer_info), 1);
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(sd->signer_info, 0);
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX]), I2d(i2d_PKCS7_SIGNER_INFO, si));
    EXPECT_EQ(IntegerRaw(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_VERSION_IDX])),
              I2d(i2d_ASN1_INTEGER, si->version));
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ISSUER_IDX]),
              I2d(i2d_X509_NAME, si->issuer_and_serial->issuer));
    EXPECT_EQ(IntegerRaw(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_SERIAL_NUMBER_IDX])),
              I2d(i2d_ASN1_INTEGER, si->issuer_and_serial->serial));
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_DIGEST_ALGID_IDX]),
              I2d(i2d_X509_ALGOR, si->digest_alg));
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_ALGID_IDX]),
              I2d(i2d_X509_ALGOR, si->digest_enc_alg));
    EXPECT_EQ(asn1test::Bytes(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX]),
              Bytes(si->enc_digest->data, si->enc_digest->data + si->enc_digest->length));
    EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX]));

    // Authenticated attributes, through the list parser and the lookup.
    const int cAuth = sk_X509_ATTRIBUTE_num(si->auth_attr);
    EXPECT_EQ(cAuth > 0, std::string(name) == "signed_cms.der") << "cms signs attributes, -noattr does not";
    if (cAuth <= 0) {
      EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX]));
      continue;
    }
    DerBlob attrs[8][MINASN1_ATTR_BLOB_CNT];
    DWORD cAttr = 8;
    const DerBlob& authBlob = slots[MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX];
    ASSERT_EQ(MinAsn1ParseAttributes(&authBlob, &cAttr, attrs), static_cast<LONG>(authBlob.cbData));
    ASSERT_EQ(cAttr, static_cast<DWORD>(cAuth));
    for (DWORD i = 0; i < cAttr; i++) {
      X509_ATTRIBUTE* attr = sk_X509_ATTRIBUTE_value(si->auth_attr, static_cast<int>(i));
      EXPECT_EQ(asn1test::Bytes(attrs[i][MINASN1_ATTR_ENCODED_IDX]), I2d(i2d_X509_ATTRIBUTE, attr));
      EXPECT_EQ(asn1test::Bytes(attrs[i][MINASN1_ATTR_OID_IDX]), ObjectContent(X509_ATTRIBUTE_get0_object(attr)));
      EXPECT_EQ(asn1test::Bytes(attrs[i][MINASN1_ATTR_VALUE_IDX]),
                I2d(i2d_ASN1_TYPE, X509_ATTRIBUTE_get0_type(attr, 0)));
    }
    const ASN1_OCTET_STRING* digest = PKCS7_digest_from_attributes(si->auth_attr);
    ASSERT_NE(digest, nullptr);
    const Bytes messageDigestOid = OidContent("1.2.840.113549.1.9.4");
    const DerBlob oid = Blob(messageDigestOid);
    const DerBlob* found = MinAsn1FindAttribute(&oid, cAttr, attrs);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(asn1test::Bytes(found[MINASN1_ATTR_VALUE_IDX]), I2d(i2d_ASN1_OCTET_STRING, digest));
  }
}

TEST_F(Asn1OpenSsl, RsaPublicKeysFromTheCommandLine) {
  for (const char* name : {"e3_rsapub.der", "ca_rsapub.der"}) {
    SCOPED_TRACE(name);
    const Bytes der = ReadFile(name);
    const unsigned char* p = der.data();
    EVP_PKEY* pkey = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size()));
    ASSERT_NE(pkey, nullptr);
    DerBlob slots[MINASN1_RSA_PUBKEY_BLOB_CNT];
    const DerBlob blob = Blob(der);
    ASSERT_EQ(MinAsn1ParseRSAPublicKey(&blob, slots), static_cast<LONG>(der.size()));
    EXPECT_EQ(Magnitude(slots[MINASN1_RSA_PUBKEY_MODULUS_IDX]), BnBytes(pkey, OSSL_PKEY_PARAM_RSA_N));
    EXPECT_EQ(Magnitude(slots[MINASN1_RSA_PUBKEY_EXPONENT_IDX]), BnBytes(pkey, OSSL_PKEY_PARAM_RSA_E));
    EVP_PKEY_free(pkey);
  }
}

}  // namespace
