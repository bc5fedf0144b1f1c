// gui_probe.dll: loaded into the program under test by the driver's
// WH_GETMESSAGE hook (see gui_probe.h). On its first hook call it redirects
// the program's MessageBoxW import through a recorder; on the driver's menu
// message it snapshots the main window's menu into the shared block.
#include "tests/gui/gui_probe.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "sim/control.h"

namespace {

using MessageBoxWFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
MessageBoxWFn g_realMessageBoxW = nullptr;
ProbeBlock* g_block = nullptr;

ProbeBlock* Block() {
  if (g_block != nullptr) return g_block;
  wchar_t name[64];
  swprintf(name, 64, L"%ls%lu", kProbeMappingPrefix, GetCurrentProcessId());
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (mapping == nullptr) return nullptr;
  // The view stays mapped for the life of the process.
  g_block = static_cast<ProbeBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeBlock)));
  CloseHandle(mapping);
  return g_block;
}

void CopyText(wchar_t* out, size_t capacity, const wchar_t* text) {
  if (text == nullptr) text = L"";
  wcsncpy(out, text, capacity - 1);
  out[capacity - 1] = 0;
}

int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  if (ProbeBlock* block = Block()) {
    const LONG index = block->boxCount;
    if (index < kProbeMaxBoxes) {
      ProbeBox& box = block->boxes[index];
      box.owner = owner;
      box.type = type;
      box.nullCaption = caption == nullptr;
      CopyText(box.text, 128, text);
      CopyText(box.caption, 64, caption);
      InterlockedIncrement(&block->boxCount);
    }
  }
  return g_realMessageBoxW(owner, text, caption, type);
}

// Points the executable's import of user32!MessageBoxW at the recorder.
bool RedirectMessageBox() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return false;
  bool redirected = false;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
    if (_stricmp(reinterpret_cast<char*>(base + imp->Name), "user32.dll") != 0) continue;
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    auto* lookup = reinterpret_cast<IMAGE_THUNK_DATA*>(
        base + (imp->OriginalFirstThunk != 0 ? imp->OriginalFirstThunk : imp->FirstThunk));
    for (; lookup->u1.AddressOfData != 0; ++lookup, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + lookup->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(byName->Name), "MessageBoxW") != 0) continue;
      DWORD old = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &old);
      g_realMessageBoxW = reinterpret_cast<MessageBoxWFn>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&RecordingMessageBoxW);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
      redirected = true;
    }
  }
  return redirected;
}

void SnapshotMenu(HWND window) {
  ProbeBlock* block = Block();
  if (block == nullptr) return;
  HMENU bar = GetMenu(window);
  const int popups = bar != nullptr ? GetMenuItemCount(bar) : 0;
  block->popupCount = 0;
  for (int p = 0; p < popups && p < kProbeMaxPopups; ++p) {
    ProbePopup& popup = block->popups[p];
    GetMenuStringW(bar, p, popup.title, 32, MF_BYPOSITION);
    HMENU sub = GetSubMenu(bar, p);
    const int items = sub != nullptr ? GetMenuItemCount(sub) : 0;
    popup.itemCount = 0;
    for (int i = 0; i < items && i < kProbeMaxItems; ++i) {
      ProbeMenuItem& item = popup.items[i];
      item.id = GetMenuItemID(sub, i);
      item.state = GetMenuState(sub, i, MF_BYPOSITION);
      item.text[0] = 0;
      GetMenuStringW(sub, i, item.text, 64, MF_BYPOSITION);
      popup.itemCount = i + 1;
    }
    block->popupCount = p + 1;
  }
  InterlockedIncrement(&block->menuSerial);
}

UINT MenuMessage() {
  static const UINT message = RegisterWindowMessageW(kProbeMenuMessage);
  return message;
}

UINT DeviceMessage() {
  static const UINT message = RegisterWindowMessageW(kProbeDeviceMessage);
  return message;
}

// The simulated service loaded in this process; the service announces the
// change to the program's advised sink on this thread, as a real one would.
void PlugOrUnplug(WPARAM what) {
  ProbeBlock* block = Block();
  if (block == nullptr) return;
  using GetTable = const SimControlTable*(WINAPI*)();
  HMODULE service = GetModuleHandleW(L"tfsimwmdm.dll");
  const auto get = service == nullptr
                       ? nullptr
                       : reinterpret_cast<GetTable>(reinterpret_cast<void*>(GetProcAddress(service, "TfSimControl")));
  const SimControlTable* table = get != nullptr ? get() : nullptr;
  LONG done = 0;
  if (table != nullptr && table->size == sizeof(SimControlTable)) {
    char id[sizeof block->deviceId];
    std::memcpy(id, block->deviceId, sizeof id);
    id[sizeof id - 1] = 0;
    if (what == kProbePlug) {
      table->plugPlayer(id);
    } else {
      table->unplugPlayer(id);
    }
    done = 1;
  }
  block->deviceDone = done;
  InterlockedIncrement(&block->deviceSerial);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    ProbeBlock* block = Block();
    if (block != nullptr && g_realMessageBoxW == nullptr) {
      // Stay loaded after the driver unhooks: the import now points here.
      HMODULE self = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&ProbeHook), &self);
      if (RedirectMessageBox()) block->spyInstalled = 1;
    }
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (wParam == PM_REMOVE && msg->message == MenuMessage()) {
      SnapshotMenu(msg->hwnd);
      msg->message = WM_NULL;  // the program never sees the request
    } else if (wParam == PM_REMOVE && msg->message == DeviceMessage()) {
      PlugOrUnplug(msg->wParam);
      msg->message = WM_NULL;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
