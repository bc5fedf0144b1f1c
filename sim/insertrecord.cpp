// The byte form in which an insert record crosses from the COM server DLL to
// a test program.
#include <cstring>

#include "sim/control.h"

namespace {

// Little-endian 32-bit words and length-prefixed byte strings.
class Writer {
 public:
  void word(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<char>(v >> (8 * i)));
  }
  void bytes(const void* data, size_t size) {
    word(static_cast<uint32_t>(size));
    out_.append(static_cast<const char*>(data), size);
  }
  void text(const std::string& s) { bytes(s.data(), s.size()); }
  void wide(const WString& s) { bytes(s.data(), s.size() * sizeof(WCHAR)); }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool word(uint32_t* v) {
    if (in_.size() < 4) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= static_cast<uint32_t>(static_cast<unsigned char>(in_[i])) << (8 * i);
    in_.remove_prefix(4);
    return true;
  }
  bool bytes(std::string_view* out) {
    uint32_t n = 0;
    if (!word(&n) || in_.size() < n) return false;
    *out = in_.substr(0, n);
    in_.remove_prefix(n);
    return true;
  }
  bool text(std::string* s) {
    std::string_view b;
    if (!bytes(&b)) return false;
    s->assign(b);
    return true;
  }
  bool wide(WString* s) {
    std::string_view b;
    if (!bytes(&b) || b.size() % sizeof(WCHAR) != 0) return false;
    s->resize(b.size() / sizeof(WCHAR));
    if (!b.empty()) std::memcpy(s->data(), b.data(), b.size());
    return true;
  }
  bool done() const { return in_.empty(); }

 private:
  std::string_view in_;
};

}  // namespace

std::string SimEncodeInsertRecord(const SimInsertRecord& r) {
  Writer w;
  w.text(r.player);
  w.text(r.storage);
  w.word(r.mode);
  w.word(r.type);
  w.wide(r.source);
  w.wide(r.destination);
  w.word(r.hadOperation);
  w.word(r.hadProgress);
  w.word(r.hadMetadata);
  w.word(static_cast<uint32_t>(r.metadata.size()));
  for (const SimMetadataItem& m : r.metadata) {
    w.wide(m.name);
    w.word(static_cast<uint32_t>(m.type));
    w.bytes(m.value.data(), m.value.size());
  }
  w.word(static_cast<uint32_t>(r.progressCalls.size()));
  for (const std::string& c : r.progressCalls) w.text(c);
  w.word(static_cast<uint32_t>(r.result));
  return w.take();
}

bool SimDecodeInsertRecord(std::string_view bytes, SimInsertRecord* out) {
  Reader rd(bytes);
  SimInsertRecord r;
  uint32_t flag = 0;
  uint32_t count = 0;
  uint32_t result = 0;
  if (!rd.text(&r.player) || !rd.text(&r.storage) || !rd.word(&r.mode) || !rd.word(&r.type) || !rd.wide(&r.source) ||
      !rd.wide(&r.destination) || !rd.word(&flag)) {
    return false;
  }
  if (flag > 1) return false;
  r.hadOperation = flag != 0;
  if (!rd.word(&flag) || flag > 1) return false;
  r.hadProgress = flag != 0;
  if (!rd.word(&flag) || flag > 1 || !rd.word(&count)) return false;
  r.hadMetadata = flag != 0;
  for (uint32_t i = 0; i < count; ++i) {
    SimMetadataItem m;
    uint32_t type = 0;
    std::string_view value;
    if (!rd.wide(&m.name) || !rd.word(&type) || type > WMDM_TYPE_DATE || !rd.bytes(&value)) return false;
    m.type = static_cast<WMDM_TAG_DATATYPE>(type);
    m.value.assign(value.begin(), value.end());
    r.metadata.push_back(std::move(m));
  }
  if (!rd.word(&count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::string call;
    if (!rd.text(&call)) return false;
    r.progressCalls.push_back(std::move(call));
  }
  if (!rd.word(&result) || !rd.done()) return false;
  r.result = static_cast<HRESULT>(result);
  *out = std::move(r);
  return true;
}
