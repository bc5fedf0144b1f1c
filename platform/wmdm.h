// The Windows Media Device Manager interfaces that Tessfold calls and
// implements, declared from their published binary layout: methods in vtable
// order, IUnknown's three first, STDMETHODCALLTYPE (__stdcall on 32-bit
// Windows), single inheritance and no destructor slot. Both the device layer
// (caller) and the simulated service (implementer) build on this header, on
// Windows over the real COM headers and elsewhere over platform/com.h.
#pragma once

#include "platform/com.h"

#ifndef _WIN32
struct ISpecifyPropertyPages;
#ifndef TF_RECT_DECLARED
#define TF_RECT_DECLARED
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
#endif
#endif

// --- Constants ----------------------------------------------------------------

#define WMDM_MAC_LENGTH 8
#define WMDMID_LENGTH 128
#define SAC_MAC_LEN 8

#define WMDM_MODE_BLOCK 0x00000001u
#define WMDM_MODE_THREAD 0x00000002u
#define WMDM_CONTENT_FILE 0x00000004u
#define WMDM_CONTENT_FOLDER 0x00000008u
#define WMDM_CONTENT_OPERATIONINTERFACE 0x00000010u
#define WMDM_MODE_QUERY 0x00000020u
#define WMDM_MODE_PROGRESS 0x00000040u
#define WMDM_MODE_TRANSFER_PROTECTED 0x00000080u
#define WMDM_MODE_TRANSFER_UNPROTECTED 0x00000100u
#define WMDM_STORAGECONTROL_INSERTBEFORE 0x00000200u
#define WMDM_STORAGECONTROL_INSERTAFTER 0x00000400u
#define WMDM_STORAGECONTROL_INSERTINTO 0x00000800u
#define WMDM_MODE_RECURSIVE 0x00001000u
#define WMDM_FILE_CREATE_OVERWRITE 0x00100000u

#define WMDM_DEVICE_TYPE_PLAYBACK 0x00000001u
#define WMDM_DEVICE_TYPE_RECORD 0x00000002u
#define WMDM_DEVICE_TYPE_DECODE 0x00000004u
#define WMDM_DEVICE_TYPE_ENCODE 0x00000008u
#define WMDM_DEVICE_TYPE_STORAGE 0x00000010u
#define WMDM_DEVICE_TYPE_VIRTUAL 0x00000020u
#define WMDM_DEVICE_TYPE_SDMI 0x00000040u
#define WMDM_DEVICE_TYPE_NONSDMI 0x00000080u
#define WMDM_DEVICE_TYPE_NONREENTRANT 0x00000100u
#define WMDM_DEVICE_TYPE_FILELISTRESYNC 0x00000200u
#define WMDM_DEVICE_TYPE_VIEW_PREF_METADATAVIEW 0x00000400u

#define WMDM_STATUS_READY 0x00000001u
#define WMDM_STATUS_BUSY 0x00000002u
#define WMDM_STATUS_DEVICE_NOTPRESENT 0x00000004u

#define WMDM_GET_FORMAT_SUPPORT_AUDIO 0x00000001u
#define WMDM_GET_FORMAT_SUPPORT_VIDEO 0x00000002u
#define WMDM_GET_FORMAT_SUPPORT_FILE 0x00000004u

#define WMDM_WMDM_REVOKED 0x00000001u
#define WMDM_APP_REVOKED 0x00000002u
#define WMDM_SP_REVOKED 0x00000004u
#define WMDM_SCP_REVOKED 0x00000008u

#define DO_NOT_VIRTUALIZE_STORAGES_AS_DEVICES 0x00000001u
#define ALLOW_OUTOFBAND_NOTIFICATION 0x00000002u

#define WMDM_S_NOT_ALL_PROPERTIES_APPLIED static_cast<HRESULT>(0x00045001u)
#define WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED static_cast<HRESULT>(0x00045002u)
#define WMDM_E_BUSY static_cast<HRESULT>(0x80045000u)
#define WMDM_E_INTERFACEDEAD static_cast<HRESULT>(0x80045001u)
#define WMDM_E_INVALIDTYPE static_cast<HRESULT>(0x80045002u)
#define WMDM_E_PROCESSFAILED static_cast<HRESULT>(0x80045003u)
#define WMDM_E_NOTSUPPORTED static_cast<HRESULT>(0x80045004u)
#define WMDM_E_NOTCERTIFIED static_cast<HRESULT>(0x80045005u)
#define WMDM_E_NORIGHTS static_cast<HRESULT>(0x80045006u)
#define WMDM_E_CALL_OUT_OF_SEQUENCE static_cast<HRESULT>(0x80045007u)
#define WMDM_E_BUFFERTOOSMALL static_cast<HRESULT>(0x80045008u)
#define WMDM_E_MOREDATA static_cast<HRESULT>(0x80045009u)
#define WMDM_E_MAC_CHECK_FAILED static_cast<HRESULT>(0x8004500Au)
#define WMDM_E_USER_CANCELLED static_cast<HRESULT>(0x8004500Bu)
#define WMDM_E_SDMI_TRIGGER static_cast<HRESULT>(0x8004500Cu)
#define WMDM_E_SDMI_NOMORECOPIES static_cast<HRESULT>(0x8004500Du)
#define WMDM_E_REVOKED static_cast<HRESULT>(0x8004500Eu)
#define WMDM_E_LICENSE_NOTEXIST static_cast<HRESULT>(0x8004500Fu)
#define WMDM_E_INCORRECT_APPSEC static_cast<HRESULT>(0x80045010u)
#define WMDM_E_INCORRECT_RIGHTS static_cast<HRESULT>(0x80045011u)
#define WMDM_E_LICENSE_EXPIRED static_cast<HRESULT>(0x80045012u)
#define WMDM_E_CANTOPEN_PMSN_SERVICE_PIPE static_cast<HRESULT>(0x80045013u)
#define WMDM_E_TOO_MANY_SESSIONS static_cast<HRESULT>(0x80045013u)

// Metadata tag of an object's format code; its value is a 32-bit DWORD.
inline constexpr WCHAR g_wszWMDMFormatCode[] = WSTR("WMDM/FormatCode");

// --- Types --------------------------------------------------------------------

typedef enum tagWMDM_TAG_DATATYPE {
  WMDM_TYPE_DWORD = 0,
  WMDM_TYPE_STRING = 1,
  WMDM_TYPE_BINARY = 2,
  WMDM_TYPE_BOOL = 3,
  WMDM_TYPE_QWORD = 4,
  WMDM_TYPE_WORD = 5,
  WMDM_TYPE_GUID = 6,
  WMDM_TYPE_DATE = 7
} WMDM_TAG_DATATYPE;

typedef enum tagWMDM_STORAGE_ENUM_MODE {
  ENUM_MODE_RAW = 0,
  ENUM_MODE_USE_DEVICE_PREF = 1,
  ENUM_MODE_METADATA_VIEWS = 2
} WMDM_STORAGE_ENUM_MODE;

enum WMDMMessage {
  WMDM_MSG_DEVICE_ARRIVAL = 0,
  WMDM_MSG_DEVICE_REMOVAL = 1,
  WMDM_MSG_MEDIA_ARRIVAL = 2,
  WMDM_MSG_MEDIA_REMOVAL = 3
};

typedef struct _tWAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
} _WAVEFORMATEX;

typedef struct _tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} _BITMAPINFOHEADER;

typedef struct _tagVIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  LONGLONG AvgTimePerFrame;
  _BITMAPINFOHEADER bmiHeader;
} _VIDEOINFOHEADER;

typedef struct _tagWMFILECAPABILITIES {
  LPWSTR pwszMimeType;
  DWORD dwReserved;
} WMFILECAPABILITIES;

typedef struct __OPAQUECOMMAND {
  GUID guidCommand;
  DWORD dwDataLen;
  BYTE* pData;
  BYTE abMAC[20];
} OPAQUECOMMAND;

typedef struct __WMDMID {
  UINT cbSize;
  DWORD dwVendorID;
  BYTE pID[WMDMID_LENGTH];
  UINT SerialNumberLength;
} WMDMID;
typedef struct __WMDMID* PWMDMID;

typedef struct _WMDMDATETIME {
  WORD wYear;
  WORD wMonth;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
} WMDMDATETIME;
typedef struct _WMDMDATETIME* PWMDMDATETIME;

typedef struct __WMDMRIGHTS {
  UINT cbSize;
  DWORD dwContentType;
  DWORD fuFlags;
  DWORD fuRights;
  DWORD dwAppSec;
  DWORD dwPlaybackCount;
  WMDMDATETIME ExpirationDate;
} WMDMRIGHTS;
typedef struct __WMDMRIGHTS* PWMDMRIGHTS;

typedef struct __WMDMMetadataView {
  WCHAR* pwszViewName;
  UINT nDepth;
  WCHAR** ppwszTags;
} WMDMMetadataView;

static_assert(sizeof(_WAVEFORMATEX) == 20, "_WAVEFORMATEX layout");
static_assert(sizeof(_BITMAPINFOHEADER) == 40, "_BITMAPINFOHEADER layout");
static_assert(sizeof(_VIDEOINFOHEADER) == 88, "_VIDEOINFOHEADER layout");
static_assert(sizeof(WMDMID) == 140, "WMDMID layout");
static_assert(sizeof(WMDMDATETIME) == 12, "WMDMDATETIME layout");
static_assert(sizeof(WMDMRIGHTS) == 36, "WMDMRIGHTS layout");
static_assert(sizeof(OPAQUECOMMAND) == (sizeof(void*) == 4 ? 44 : 56), "OPAQUECOMMAND layout");
static_assert(sizeof(WMFILECAPABILITIES) == (sizeof(void*) == 4 ? 8 : 16), "WMFILECAPABILITIES layout");
static_assert(sizeof(WMDMMetadataView) == (sizeof(void*) == 4 ? 12 : 24), "WMDMMetadataView layout");

// --- Interfaces ---------------------------------------------------------------

struct IWMDMDevice;
struct IWMDMEnumDevice;
struct IWMDMStorage;
struct IWMDMEnumStorage;
struct IWMDMStorageGlobals;
struct IWMDMMetaData;
struct IWMDMOperation;
struct IWMDMProgress;

struct IComponentAuthenticate : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SACAuth(DWORD dwProtocolID, DWORD dwPass, BYTE* pbDataIn, DWORD dwDataInLen,
                                            BYTE** ppbDataOut, DWORD* pdwDataOutLen) = 0;
  virtual HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount) = 0;
};

struct IWMDeviceManager : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRevision(DWORD* pdwRevision) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceCount(DWORD* pdwCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDevices(IWMDMEnumDevice** ppEnumDevice) = 0;
};

struct IWMDeviceManager2 : public IWMDeviceManager {
  virtual HRESULT STDMETHODCALLTYPE GetDeviceFromCanonicalName(LPCWSTR pwszCanonicalName, IWMDMDevice** ppDevice) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDevices2(IWMDMEnumDevice** ppEnumDevice) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reinitialize() = 0;
};

struct IWMDMEnumDevice : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMDevice** ppDevice, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumDevice** ppEnumDevice) = 0;
};

struct IWMDMDevice : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetManufacturer(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVersion(DWORD* pdwVersion) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(DWORD* pdwType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID pSerialNumber, BYTE abMac[WMDM_MAC_LENGTH]) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPowerSource(DWORD* pdwPowerSource, DWORD* pdwPercentRemaining) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(DWORD* pdwStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceIcon(ULONG* hIcon) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnumStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormatSupport(_WAVEFORMATEX** ppFormatEx, UINT* pnFormatCount,
                                                     LPWSTR** pppwszMimeType, UINT* pnMimeTypeCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND* pCommand) = 0;
};

struct IWMDMDevice2 : public IWMDMDevice {
  virtual HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormatSupport2(DWORD dwFlags, _WAVEFORMATEX** ppAudioFormatEx,
                                                      UINT* pnAudioFormatCount, _VIDEOINFOHEADER** ppVideoFormatEx,
                                                      UINT* pnVideoFormatCount, WMFILECAPABILITIES** ppFileType,
                                                      UINT* pnFileTypeCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpecifyPropertyPages(ISpecifyPropertyPages** ppSpecifyPropPages,
                                                            IUnknown*** pppUnknowns, ULONG* pcUnks) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCanonicalName(LPWSTR pwszPnPName, UINT nMaxChars) = 0;
};

struct IWMDMEnumStorage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMStorage** ppStorage, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumStorage** ppEnumStorage) = 0;
};

struct IWMDMStorage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetAttributes(DWORD dwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStorageGlobals(IWMDMStorageGlobals** ppStorageGlobals) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributes(DWORD* pdwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDate(PWMDMDATETIME pDateTimeUTC) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSize(DWORD* pdwSizeLow, DWORD* pdwSizeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRights(PWMDMRIGHTS* ppRights, UINT* pnRightsCount,
                                              BYTE abMac[WMDM_MAC_LENGTH]) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** pEnumStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND* pCommand) = 0;
};

struct IWMDMStorage2 : public IWMDMStorage {
  virtual HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttributes2(DWORD dwAttributes, DWORD dwAttributesEx, _WAVEFORMATEX* pFormat,
                                                   _VIDEOINFOHEADER* pVideoFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributes2(DWORD* pdwAttributes, DWORD* pdwAttributesEx,
                                                   _WAVEFORMATEX* pAudioFormat, _VIDEOINFOHEADER* pVideoFormat) = 0;
};

struct IWMDMStorage3 : public IWMDMStorage2 {
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(IWMDMMetaData** ppMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(IWMDMMetaData* pMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateEmptyMetadataObject(IWMDMMetaData** ppMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnumPreference(WMDM_STORAGE_ENUM_MODE* pMode, DWORD nViews,
                                                      WMDMMetadataView* pViews) = 0;
};

struct IWMDMStorageGlobals : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* pdwCapabilities) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID pSerialNum, BYTE abMac[WMDM_MAC_LENGTH]) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTotalSize(DWORD* pdwTotalSizeLow, DWORD* pdwTotalSizeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTotalFree(DWORD* pdwFreeLow, DWORD* pdwFreeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTotalBad(DWORD* pdwBadLow, DWORD* pdwBadHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(DWORD* pdwStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(UINT fuMode, IWMDMProgress* pProgress) = 0;
};

struct IWMDMMetaData : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddItem(WMDM_TAG_DATATYPE Type, LPCWSTR pwszTagName, BYTE* pValue,
                                            UINT iLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryByName(LPCWSTR pwszTagName, WMDM_TAG_DATATYPE* pType, BYTE** pValue,
                                                UINT* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryByIndex(UINT iIndex, WCHAR** ppwszName, WMDM_TAG_DATATYPE* pType,
                                                 BYTE** ppValue, UINT* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemCount(UINT* iCount) = 0;
};

struct IWMDMStorageControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Insert(UINT fuMode, LPWSTR pwszFile, IWMDMOperation* pOperation,
                                           IWMDMProgress* pProgress, IWMDMStorage** ppNewObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(UINT fuMode, IWMDMProgress* pProgress) = 0;
  virtual HRESULT STDMETHODCALLTYPE Rename(UINT fuMode, LPWSTR pwszNewName, IWMDMProgress* pProgress) = 0;
  // Progress before operation here, unlike Insert.
  virtual HRESULT STDMETHODCALLTYPE Read(UINT fuMode, LPWSTR pwszFile, IWMDMProgress* pProgress,
                                         IWMDMOperation* pOperation) = 0;
  virtual HRESULT STDMETHODCALLTYPE Move(UINT fuMode, IWMDMStorage* pTargetObject, IWMDMProgress* pProgress) = 0;
};

struct IWMDMStorageControl2 : public IWMDMStorageControl {
  virtual HRESULT STDMETHODCALLTYPE Insert2(UINT fuMode, LPWSTR pwszFileSource, LPWSTR pwszFileDest,
                                            IWMDMOperation* pOperation, IWMDMProgress* pProgress, IUnknown* pUnknown,
                                            IWMDMStorage** ppNewObject) = 0;
};

struct IWMDMStorageControl3 : public IWMDMStorageControl2 {
  virtual HRESULT STDMETHODCALLTYPE Insert3(UINT fuMode, UINT fuType, LPWSTR pwszFileSource, LPWSTR pwszFileDest,
                                            IWMDMOperation* pOperation, IWMDMProgress* pProgress,
                                            IWMDMMetaData* pMetaData, IUnknown* pUnknown,
                                            IWMDMStorage** ppNewObject) = 0;
};

struct IWMDMOperation : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE BeginRead() = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginWrite() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetObjectName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectAttributes(DWORD* pdwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetObjectAttributes(DWORD dwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectTotalSize(DWORD* pdwSize, DWORD* pdwSizeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetObjectTotalSize(DWORD dwSize, DWORD dwSizeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE TransferObjectData(BYTE* pData, DWORD* pdwSize, BYTE abMac[WMDM_MAC_LENGTH]) = 0;
  // A pointer to the completion code, not the code itself.
  virtual HRESULT STDMETHODCALLTYPE End(HRESULT* phCompletionCode, IUnknown* pNewObject) = 0;
};

struct IWMDMProgress : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Begin(DWORD dwEstimatedTicks) = 0;
  virtual HRESULT STDMETHODCALLTYPE Progress(DWORD dwTranspiredTicks) = 0;
  virtual HRESULT STDMETHODCALLTYPE End() = 0;
};

struct IWMDMNotification : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE WMDMMessage(DWORD dwMessageType, LPCWSTR pwszCanonicalName) = 0;
};

struct IWMDMRevoked : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRevocationURL(LPWSTR* ppwszRevocationURL, DWORD* pdwBufferLen,
                                                     DWORD* pdwRevokedBitFlag) = 0;
};

// --- Interface and class identifiers --------------------------------------------
// C++ linkage on purpose: they cannot collide with an SDK import library that
// happens to carry the same names.

inline constexpr IID IID_IComponentAuthenticate = {
    0xA9889C00, 0x6D2B, 0x11D3, {0x84, 0x96, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDeviceManager = {
    0x1DCB3A00, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDeviceManager2 = {
    0x923E5249, 0x8731, 0x4C5B, {0x9B, 0x1C, 0xB8, 0xB6, 0x0B, 0x6E, 0x46, 0xAF}};
inline constexpr IID IID_IWMDMEnumDevice = {
    0x1DCB3A01, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMDevice = {0x1DCB3A02, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMDevice2 = {0xE34F3D37, 0x9D67, 0x4FC1, {0x92, 0x52, 0x62, 0xD2, 0x8B, 0x2F, 0x8B, 0x55}};
inline constexpr IID IID_IWMDMEnumStorage = {
    0x1DCB3A05, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorage = {0x1DCB3A06, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorage2 = {0x1ED5A144, 0x5CD5, 0x4683, {0x9E, 0xFF, 0x72, 0xCB, 0xDB, 0x2D, 0x95, 0x33}};
inline constexpr IID IID_IWMDMStorage3 = {0x97717EEA, 0x926A, 0x464E, {0x96, 0xA4, 0x24, 0x7B, 0x02, 0x16, 0x02, 0x6E}};
inline constexpr IID IID_IWMDMStorageGlobals = {
    0x1DCB3A07, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMMetaData = {0xEC3B0663, 0x0951, 0x460A, {0x9A, 0x80, 0x0D, 0xCE, 0xED, 0x3C, 0x04, 0x3C}};
inline constexpr IID IID_IWMDMStorageControl = {
    0x1DCB3A08, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorageControl2 = {
    0x972C2E88, 0xBD6C, 0x4125, {0x8E, 0x09, 0x84, 0xF8, 0x37, 0xE6, 0x37, 0xB6}};
inline constexpr IID IID_IWMDMStorageControl3 = {
    0xB3266365, 0xD4F3, 0x4696, {0x8D, 0x53, 0xBD, 0x27, 0xEC, 0x60, 0x99, 0x3A}};
inline constexpr IID IID_IWMDMOperation = {
    0x1DCB3A0B, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMProgress = {0x1DCB3A0C, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMNotification = {
    0x3F5E95C0, 0x0F43, 0x4ED4, {0x93, 0xD2, 0xC8, 0x9A, 0x45, 0xD5, 0x9B, 0x81}};
inline constexpr IID IID_IWMDMRevoked = {0xEBECCEDB, 0x88EE, 0x4E55, {0xB6, 0xA4, 0x8D, 0x9F, 0x07, 0xD6, 0x96, 0xAA}};

// The service's root object (IComponentAuthenticate, then IWMDeviceManager).
inline constexpr CLSID CLSID_MediaDevMgr = {
    0x25BAAD81, 0x3560, 0x11D3, {0x84, 0x71, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
