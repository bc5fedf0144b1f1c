#include "sim/playerdesc.h"

#include <cctype>
#include <set>

#include "platform/text.h"

namespace {

struct QueryName {
  const char* name;
  uint32_t bit;
};

constexpr QueryName kQueryNames[] = {
    {"type", kSimQueryType},       {"manufacturer", kSimQueryManufacturer},
    {"name", kSimQueryName},       {"version", kSimQueryVersion},
    {"status", kSimQueryStatus},   {"storages", kSimQueryStorages},
    {"device2", kSimQueryDevice2},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// Valid UTF-8 survives the round trip through UTF-16 unchanged; anything
// ill-formed comes back with replacement characters.
bool IsUtf8(std::string_view s) { return NarrowToUtf8(WidenUtf8(s)) == s; }

bool HasControl(std::string_view s) {
  for (char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

bool CheckText(const char* key, std::string_view value, std::string* error) {
  if (value.empty()) return Fail(error, std::string("'") + key + "' is empty");
  if (HasControl(value)) return Fail(error, std::string("'") + key + "' contains a control character");
  if (!IsUtf8(value)) return Fail(error, std::string("'") + key + "' is not valid UTF-8");
  if (IsBlank(value.front()) || IsBlank(value.back()))
    return Fail(error, std::string("'") + key + "' starts or ends with a blank");
  if (WidenUtf8(value).size() > kSimMaxTextUnits)
    return Fail(error, std::string("'") + key + "' is longer than 259 UTF-16 units");
  return true;
}

// A storage folder must stay inside the player's folder on every host, so
// only a plain name that Windows and POSIX both accept unchanged will do.
bool CheckFolder(const char* key, std::string_view value, std::string* error) {
  const std::string k = std::string("'") + key + "'";
  if (!CheckText(key, value, error)) return false;
  if (value.size() > 255) return Fail(error, k + " is longer than 255 bytes");
  if (value == "." || value == "..") return Fail(error, k + " must name a folder, not '" + std::string(value) + "'");
  for (char c : value) {
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
      return Fail(error, k + " may not contain '" + c + "'");
  }
  if (value.back() == '.') return Fail(error, k + " may not end with '.'");
  if (Lower(value) == kSimDescriptionFile) return Fail(error, k + " may not be the description file's name");
  return true;
}

bool ParseNumber(std::string_view s, uint32_t* out) {
  uint64_t v = 0;
  if (!SimParseNumber(s, 0xFFFFFFFFu, &v)) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool ParseBool(std::string_view s, bool* out) {
  const std::string l = Lower(s);
  if (l == "yes" || l == "true" || l == "1") {
    *out = true;
    return true;
  }
  if (l == "no" || l == "false" || l == "0") {
    *out = false;
    return true;
  }
  return false;
}

bool ParseQueries(std::string_view s, uint32_t* out, std::string* error) {
  uint32_t bits = 0;
  size_t i = 0;
  while (i < s.size()) {
    if (IsBlank(s[i]) || s[i] == ',') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < s.size() && !IsBlank(s[j]) && s[j] != ',') ++j;
    const std::string word = Lower(s.substr(i, j - i));
    bool known = false;
    for (const QueryName& q : kQueryNames) {
      if (word == q.name) {
        bits |= q.bit;
        known = true;
      }
    }
    if (!known) return Fail(error, "'fail' names an unknown query '" + std::string(s.substr(i, j - i)) + "'");
    i = j;
  }
  *out = bits;
  return true;
}

std::string Hex(uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string s = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
  return s;
}

}  // namespace

bool SimParseNumber(std::string_view s, uint64_t limit, uint64_t* out) {
  unsigned base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t v = 0;
  for (char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (d > limit || v > (limit - d) / base) return false;
    v = v * base + d;
  }
  *out = v;
  return true;
}

bool SimParsePlayerDescription(std::string_view text, SimPlayerDescription* out, std::string* error) {
  if (text.size() > kSimMaxDescriptionBytes) return Fail(error, "description is larger than 64 KiB");
  // Editors that save UTF-8 may put a byte-order mark first.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  SimPlayerDescription d;
  std::set<std::string> seenPlayerKeys;
  std::set<std::string> seenStorageKeys;
  std::set<std::string> folders;  // lower-cased: Windows folders ignore case
  bool inStorage = false;
  size_t storageLine = 0;
  size_t lineNo = 0;

  auto fail = [&](const std::string& what) { return Fail(error, "line " + std::to_string(lineNo) + ": " + what); };
  auto closeStorage = [&]() {
    if (inStorage && d.storages.back().folder.empty()) {
      return Fail(error, "the [storage] section of line " + std::to_string(storageLine) + " has no 'folder'");
    }
    return true;
  };

  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (raw.find('\0') != std::string_view::npos) return fail("contains a NUL byte");
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']') return fail("section header without ']'");
      const std::string section = Lower(Trim(line.substr(1, line.size() - 2)));
      if (section != "storage") return fail("unknown section '" + std::string(line) + "'");
      if (!closeStorage()) return false;
      d.storages.emplace_back();
      seenStorageKeys.clear();
      inStorage = true;
      storageLine = lineNo;
      continue;
    }

    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail("expected 'key = value'");
    const std::string key = Lower(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (key.empty()) return fail("expected 'key = value'");
    std::string why;

    if (inStorage) {
      if (key != "folder" && key != "ready") {
        if (key == "manufacturer" || key == "name" || key == "version" || key == "type" || key == "fail")
          return fail("'" + key + "' belongs before the first [storage] section");
        return fail("unknown key '" + key + "' in a [storage] section");
      }
      if (!seenStorageKeys.insert(key).second) return fail("'" + key + "' given twice");
      SimStorageDescription& s = d.storages.back();
      if (key == "folder") {
        if (!CheckFolder("folder", value, &why)) return fail(why);
        if (!folders.insert(Lower(value)).second)
          return fail("storage folder '" + std::string(value) + "' listed twice");
        s.folder = std::string(value);
      } else if (!ParseBool(value, &s.ready)) {
        return fail("'ready' must be yes or no");
      }
      continue;
    }

    if (!seenPlayerKeys.insert(key).second) return fail("'" + key + "' given twice");
    if (key == "manufacturer" || key == "name") {
      if (!CheckText(key.c_str(), value, &why)) return fail(why);
      (key == "name" ? d.name : d.manufacturer) = std::string(value);
    } else if (key == "version" || key == "type") {
      if (!ParseNumber(value, key == "type" ? &d.type : &d.version))
        return fail("'" + key + "' is not a 32-bit number (decimal or 0x hex)");
    } else if (key == "ready") {
      if (!ParseBool(value, &d.ready)) return fail("'ready' must be yes or no");
    } else if (key == "fail") {
      if (!ParseQueries(value, &d.failingQueries, &why)) return fail(why);
    } else if (key == "folder") {
      return fail("'folder' belongs in a [storage] section");
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  if (!closeStorage()) return false;
  if (d.manufacturer.empty()) return Fail(error, "'manufacturer' is missing");
  if (d.name.empty()) return Fail(error, "'name' is missing");
  *out = std::move(d);
  return true;
}

bool SimCheckFolderName(std::string_view name, std::string* error) { return CheckFolder("folder", name, error); }

bool SimCheckPlayerDescription(const SimPlayerDescription& d, std::string* error) {
  uint32_t known = 0;
  for (const QueryName& q : kQueryNames) known |= q.bit;
  if (d.failingQueries & ~known) return Fail(error, "'fail' names an unknown query");
  if (!CheckText("manufacturer", d.manufacturer, error) || !CheckText("name", d.name, error)) return false;
  std::set<std::string> folders;
  for (const SimStorageDescription& s : d.storages) {
    if (!CheckFolder("folder", s.folder, error)) return false;
    if (!folders.insert(Lower(s.folder)).second) return Fail(error, "storage folder '" + s.folder + "' listed twice");
  }
  return true;
}

std::string SimFormatPlayerDescription(const SimPlayerDescription& d) {
  std::string out;
  out += "manufacturer = " + d.manufacturer + "\n";
  out += "name = " + d.name + "\n";
  out += "version = " + Hex(d.version) + "\n";
  out += "type = " + Hex(d.type) + "\n";
  out += std::string("ready = ") + (d.ready ? "yes" : "no") + "\n";
  if (d.failingQueries != 0) {
    out += "fail =";
    for (const QueryName& q : kQueryNames) {
      if (d.failingQueries & q.bit) out += std::string(" ") + q.name;
    }
    out += "\n";
  }
  for (const SimStorageDescription& s : d.storages) {
    out += "\n[storage]\nfolder = " + s.folder + "\n";
    out += std::string("ready = ") + (s.ready ? "yes" : "no") + "\n";
  }
  return out;
}
