#include "device/transfer_kinds.h"

#include <cstdio>

namespace {

std::string Hex(ULONGLONG v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

const TransferKindInfo* FindTransferKind(TransferKind kind) {
  for (const TransferKindInfo& row : kTransferKinds)
    if (row.kind == (kind & kTransferKindMask)) return &row;
  return nullptr;
}

const TransferKindInfo* FindTransferKindByName(std::string_view name) {
  for (const TransferKindInfo& row : kTransferKinds)
    if (name == row.pszOptionName) return &row;
  return nullptr;
}

bool InSizeWindow(const SizeWindow& window, ULONGLONG cbFile) {
  return cbFile >= window.cbMin && cbFile <= window.cbMax;
}

std::string SizeWindowText(const SizeWindow& window) {
  const bool low = window.cbMin != 0, high = window.cbMax != kNoSizeLimit;
  if (low && high) return Hex(window.cbMin) + " to " + Hex(window.cbMax) + " bytes";
  if (high) return "at most " + Hex(window.cbMax) + " bytes";
  if (low) return "at least " + Hex(window.cbMin) + " bytes";
  return "none";
}

std::string TransferKindNameList(std::initializer_list<TransferKind> kinds) {
  std::string list;
  size_t i = 0;
  for (TransferKind kind : kinds) {
    const TransferKindInfo* row = FindTransferKind(kind);
    if (i != 0) list += i + 1 == kinds.size() ? " or " : ", ";
    list += row != nullptr ? row->pszOptionName : "?";
    ++i;
  }
  return list;
}
